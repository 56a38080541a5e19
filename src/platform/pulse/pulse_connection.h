// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <pulse/context.h>
#include <pulse/thread-mainloop.h>

namespace speech_bridge {

// The process's one connection to a sound server that speaks the PulseAudio
// client protocol (PulseAudio itself, or PipeWire through pipewire-pulse):
// one threaded main loop and one context, made on first use and kept until
// exit.
//
// Every call into libpulse from a thread other than the loop's holds the
// loop's lock (Lock below); callbacks run on the loop's thread with the lock
// held and only hand data on or signal a waiter.
class PulseConnection {
 public:
  // The connection, made on the first call; nullptr when no server answers
  // (none is started for it). Later calls answer at once with the first
  // call's result. Thread-safe; a few milliseconds when a server answers.
  static PulseConnection* shared();

  pa_threaded_mainloop* loop() const { return loop_; }
  pa_context* context() const { return context_; }

  // The loop's lock for one scope.
  class Lock {
   public:
    explicit Lock(const PulseConnection& connection) : loop_(connection.loop_) { pa_threaded_mainloop_lock(loop_); }
    ~Lock() { pa_threaded_mainloop_unlock(loop_); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

   private:
    pa_threaded_mainloop* loop_;
  };

  // With the lock held: waits for the next signal() from a callback.
  void wait() const { pa_threaded_mainloop_wait(loop_); }
  // From a callback: wakes every wait().
  void signal() const { pa_threaded_mainloop_signal(loop_, 0); }

  // With the lock held: the context's last error, as one sentence.
  const char* lastError() const;

 private:
  static PulseConnection* connect();
  PulseConnection(pa_threaded_mainloop* loop, pa_context* context) : loop_(loop), context_(context) {}

  pa_threaded_mainloop* const loop_;
  pa_context* const context_;
};

}  // namespace speech_bridge
