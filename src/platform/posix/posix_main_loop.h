// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <queue>
#include <vector>

#include "platform/main_loop.h"

namespace speech_bridge {

// The main loop on the steady clock, woken by a condition variable.
class PosixMainLoop final : public MainLoop {
 public:
  double now() const override;
  void post(Task task) override;
  void postAfter(double seconds, Task task) override;
  void runInBackground(Task task) override;
  void runSlice(double until, const std::function<bool()>& finished) override;

 private:
  struct Timer {
    double due;
    std::uint64_t sequence;  // keeps timers that fall due together in posting order
    Task task;
  };
  struct LaterFirst {
    bool operator()(const Timer& a, const Timer& b) const {
      return a.due != b.due ? a.due > b.due : a.sequence > b.sequence;
    }
  };

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Task> ready_;
  std::priority_queue<Timer, std::vector<Timer>, LaterFirst> timers_;
  std::uint64_t nextSequence_ = 0;
};

}  // namespace speech_bridge
