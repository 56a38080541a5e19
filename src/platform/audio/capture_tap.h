// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <mutex>

#include "platform/audio_capture.h"

namespace speech_bridge {

// The tap of a capture backend: installed and removed by the main thread,
// run by the backend's audio thread. That thread never waits: while the tap
// is being installed, removed or stopped, a buffer is dropped rather than
// waited for; once removeTapOnBus() or stop() has returned, the tap is not
// running and is never called again.
class CaptureTap {
 public:
  void install(AudioTapBlock block, AudioFormat format) {
    std::lock_guard lock(mutex_);
    block_ = std::move(block);
    format_ = format;
  }

  // Waits for an audio thread that is running the tap.
  void remove() {
    std::lock_guard lock(mutex_);
    block_ = nullptr;
  }

  // Ends delivery for good; waits like remove().
  void stop() {
    std::lock_guard lock(mutex_);
    stopped_ = true;
  }

  bool stopped() {
    std::lock_guard lock(mutex_);
    return stopped_;
  }

  // The format the tap was installed with. Main thread only.
  AudioFormat format() {
    std::lock_guard lock(mutex_);
    return format_;
  }

  // The audio thread: hands `frames` frames to the tap, unless it is busy
  // being changed, removed or stopped.
  void deliver(const float* samples, std::uint32_t frames) {
    std::unique_lock lock(mutex_, std::try_to_lock);
    if (!lock || stopped_ || !block_ || !samples) return;
    block_(AudioPcmBuffer{samples, frames, format_});
  }

 private:
  std::mutex mutex_;  // the audio thread only ever tries it
  AudioTapBlock block_;
  AudioFormat format_;
  bool stopped_ = false;
};

}  // namespace speech_bridge
