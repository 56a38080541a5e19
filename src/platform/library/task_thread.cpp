// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/library/task_thread.h"

namespace speech_bridge {

TaskThread::TaskThread(std::function<void()> first) {
  if (first) tasks_.push_back(std::move(first));
}

TaskThread::~TaskThread() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  if (thread_.joinable()) thread_.join();
}

void TaskThread::start() {
  std::call_once(started_, [this] { thread_ = std::thread([this] { run(); }); });
}

void TaskThread::submit(std::function<void()> task) {
  start();
  {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  wake_.notify_one();
}

void TaskThread::run() {
  for (;;) {
    std::function<void()> task;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
      if (stopping_) return;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
  }
}

}  // namespace speech_bridge
