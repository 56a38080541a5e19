// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/posix_main_loop.h"

#include <chrono>
#include <thread>

namespace speech_bridge {
namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point toTimePoint(double seconds) {
  return Clock::time_point(std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds)));
}

}  // namespace

double PosixMainLoop::now() const {
  return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

void PosixMainLoop::post(Task task) {
  {
    std::lock_guard lock(mutex_);
    ready_.push_back(std::move(task));
  }
  wake_.notify_one();
}

void PosixMainLoop::postAfter(double seconds, Task task) {
  {
    std::lock_guard lock(mutex_);
    timers_.push(Timer{now() + seconds, nextSequence_++, std::move(task)});
  }
  wake_.notify_one();
}

void PosixMainLoop::runInBackground(Task task) { std::thread(std::move(task)).detach(); }

void PosixMainLoop::runSlice(double until, const std::function<bool()>& finished) {
  std::unique_lock lock(mutex_);
  for (;;) {
    const double current = now();
    while (!timers_.empty() && timers_.top().due <= current) {
      // The queue's top is const; the timer is popped right after the move.
      ready_.push_back(std::move(const_cast<Timer&>(timers_.top()).task));
      timers_.pop();
    }
    if (!ready_.empty()) {
      Task task = std::move(ready_.front());
      ready_.pop_front();
      lock.unlock();
      task();
      if (finished && finished()) return;
      lock.lock();
      continue;
    }
    if (current >= until) return;
    const double wakeAt = timers_.empty() ? until : std::min(until, timers_.top().due);
    wake_.wait_until(lock, toTimePoint(wakeAt));
  }
}

}  // namespace speech_bridge
