// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace speech_bridge {

// A thread of its own that runs the tasks handed to it one at a time, in the
// order they were submitted: for a library that must be called from one
// thread only. The thread starts with the first task, so an object that is
// never used costs nothing; the destructor lets the task under way end, drops
// the others and joins the thread.
class TaskThread {
 public:
  // `first`, if given, runs on the thread before any task: the library's
  // own start.
  explicit TaskThread(std::function<void()> first = {});
  ~TaskThread();

  TaskThread(const TaskThread&) = delete;
  TaskThread& operator=(const TaskThread&) = delete;

  // Starts the thread, and with it `first`, if that has not happened yet.
  // Any thread.
  void start();

  // Any thread, the task thread included (the task then runs after the
  // current one). Starts the thread first.
  void submit(std::function<void()> task);

 private:
  void run();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> tasks_;
  bool stopping_ = false;
  std::once_flag started_;
  std::thread thread_;
};

}  // namespace speech_bridge
