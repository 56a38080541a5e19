// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/simulated_main_loop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

namespace speech_bridge::sim {
namespace {

// Real time a background thread may take to block or end before the test is
// declared stuck.
constexpr auto kQuietPatience = std::chrono::seconds(10);

}  // namespace

SimulatedMainLoop::~SimulatedMainLoop() { joinBackground(); }

double SimulatedMainLoop::now() const {
  std::lock_guard lock(mutex_);
  return now_;
}

void SimulatedMainLoop::post(Task task) {
  std::lock_guard lock(mutex_);
  ++postsMade_;
  ready_.push_back(std::move(task));
  changed_.notify_all();
}

int SimulatedMainLoop::postsMade() const {
  std::lock_guard lock(mutex_);
  return postsMade_;
}

void SimulatedMainLoop::postAfter(double seconds, Task task) {
  std::lock_guard lock(mutex_);
  timers_.push(Timer{now_ + seconds, nextSequence_++, std::move(task)});
}

void SimulatedMainLoop::schedulePlatformEvent(double at, Task task) {
  std::lock_guard lock(mutex_);
  timers_.push(Timer{std::max(at, now_), nextSequence_++, std::move(task)});
}

void SimulatedMainLoop::runInBackground(Task task) {
  std::lock_guard lock(mutex_);
  ++busyThreads_;
  threads_.emplace_back([this, task = std::move(task)] {
    task();
    std::lock_guard done(mutex_);
    --busyThreads_;
    changed_.notify_all();
  });
}

void SimulatedMainLoop::waitUntil(const WakeCondition& condition) {
  std::unique_lock lock(mutex_);
  if (condition(now_)) return;
  --busyThreads_;
  blockedConditions_.push_back(&condition);
  changed_.notify_all();
  changed_.wait(lock, [&] { return condition(now_); });
  blockedConditions_.erase(std::find(blockedConditions_.begin(), blockedConditions_.end(), &condition));
  ++busyThreads_;
}

void SimulatedMainLoop::changeShared(const std::function<void()>& change) {
  std::lock_guard lock(mutex_);
  change();
  changed_.notify_all();
}

void SimulatedMainLoop::changeSharedAt(const std::function<void(double now)>& change) {
  std::lock_guard lock(mutex_);
  change(now_);
  changed_.notify_all();
}

void SimulatedMainLoop::waitForQuiet(std::unique_lock<std::mutex>& lock) {
  const auto quiet = [this] {
    if (!ready_.empty()) return true;  // a thread has posted work: run it first
    if (busyThreads_ > 0) return false;
    return std::none_of(blockedConditions_.begin(), blockedConditions_.end(),
                        [this](const WakeCondition* condition) { return (*condition)(now_); });
  };
  if (!changed_.wait_for(lock, kQuietPatience, quiet)) {
    ADD_FAILURE() << "a background thread neither blocked nor ended";
  }
}

void SimulatedMainLoop::runSlice(double until, const std::function<bool()>& finished) {
  std::unique_lock lock(mutex_);
  ++slicesRun_;
  for (;;) {
    while (!timers_.empty() && timers_.top().due <= now_) {
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
    waitForQuiet(lock);
    if (!ready_.empty()) continue;
    if (!timers_.empty() && timers_.top().due <= until) {
      now_ = std::max(now_, timers_.top().due);
    } else {
      now_ = std::max(now_, until);
      changed_.notify_all();
      return;
    }
    changed_.notify_all();
  }
}

void SimulatedMainLoop::runUntil(double until) {
  while (now() < until) runSlice(until, nullptr);
}

void SimulatedMainLoop::joinBackground() {
  for (std::thread& thread : threads_) {
    if (thread.joinable()) thread.join();
  }
  threads_.clear();
}

}  // namespace speech_bridge::sim
