// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

namespace speech_bridge {

using Task = std::function<void()>;

// The main thread's loop and the monotonic clock it runs on.
//
// Guarantees every caller relies on:
// - post() may be called from any thread; posted tasks run on the main thread,
//   one at a time, in posting order, only while runSlice() runs.
// - postAfter() enqueues its task when `seconds` have passed on the monotonic
//   clock; a due timer runs in the same queue as posted tasks. Timers are never
//   cancelled: a task that finds its job over must test that itself.
// - runInBackground() runs a task on some thread other than the main thread,
//   and may block there for as long as it likes.
// - runSlice() returns no later than `until` (as measured by now()), or sooner
//   once `finished` answers true after a task. It waits without spinning.
// - Tasks still queued when the loop is destroyed are dropped, not run.
class MainLoop {
 public:
  virtual ~MainLoop() = default;

  // Seconds on a clock that never goes backwards; its origin is arbitrary.
  virtual double now() const = 0;

  virtual void post(Task task) = 0;
  virtual void postAfter(double seconds, Task task) = 0;
  virtual void runInBackground(Task task) = 0;
  virtual void runSlice(double until, const std::function<bool()>& finished) = 0;
};

}  // namespace speech_bridge
