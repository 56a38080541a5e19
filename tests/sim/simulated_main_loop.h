// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <queue>
#include <thread>
#include <vector>

#include "platform/main_loop.h"

namespace speech_bridge::sim {

// The main loop on a virtual clock. When nothing is ready and no background
// thread is working, time jumps to the next timer (or to the slice's end), so
// a job of 90 virtual seconds takes milliseconds.
//
// Background threads are real threads. A thread that blocks on simulated input
// says so (waitWhile); time only moves while every background thread is
// blocked there or has ended, so runs are repeatable.
class SimulatedMainLoop final : public MainLoop {
 public:
  SimulatedMainLoop() = default;
  ~SimulatedMainLoop() override;

  double now() const override;
  void post(Task task) override;
  void postAfter(double seconds, Task task) override;
  void runInBackground(Task task) override;
  void runSlice(double until, const std::function<bool()>& finished) override;

  // Runs `task` on the main thread at virtual time `at` (or now, if that has
  // passed), as the platform's own threads would deliver a callback.
  void schedulePlatformEvent(double at, Task task);

  // Main thread: runs slices until `until` virtual seconds.
  void runUntil(double until);

  // A condition of a blocked background thread, given the virtual time. It
  // runs under the loop's lock and must not call back into the loop.
  using WakeCondition = std::function<bool(double now)>;

  // For background threads: blocks until `condition` holds, letting virtual
  // time move meanwhile.
  void waitUntil(const WakeCondition& condition);

  // Changes what wake conditions read, under the loop's lock, and lets blocked
  // threads test them again.
  void changeShared(const std::function<void()>& change);
  // The same, for a change that depends on the virtual time.
  void changeSharedAt(const std::function<void(double now)>& change);

  // Joins background threads; call once their inputs can no longer block.
  void joinBackground();

  int slicesRun() const { return slicesRun_; }

  // Tasks posted so far, from any thread; lets a fake check that a callback
  // only posted its work.
  int postsMade() const;

 private:
  struct Timer {
    double due;
    std::uint64_t sequence;
    Task task;
  };
  struct LaterFirst {
    bool operator()(const Timer& a, const Timer& b) const {
      return a.due != b.due ? a.due > b.due : a.sequence > b.sequence;
    }
  };

  void waitForQuiet(std::unique_lock<std::mutex>& lock);

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  double now_ = 1000.0;  // away from zero, so that "now + 0" bugs show
  std::deque<Task> ready_;
  std::priority_queue<Timer, std::vector<Timer>, LaterFirst> timers_;
  std::uint64_t nextSequence_ = 0;
  int busyThreads_ = 0;
  std::vector<const WakeCondition*> blockedConditions_;
  std::vector<std::thread> threads_;
  int slicesRun_ = 0;
  int postsMade_ = 0;
};

}  // namespace speech_bridge::sim
