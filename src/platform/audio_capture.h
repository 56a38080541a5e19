// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/audio_buffer.h"

namespace speech_bridge {

// Called once per captured buffer, in capture order, on the capture thread.
// It must return quickly: no waiting, no unbounded allocation.
using AudioTapBlock = std::function<void(const AudioPcmBuffer& buffer)>;

// The node that delivers microphone audio.
class AudioInputNode {
 public:
  virtual ~AudioInputNode() = default;

  // The capture format of the default input device. A sample rate of 0 or a
  // channel count of 0 means there is no usable input.
  virtual AudioFormat outputFormatForBus(int bus) = 0;

  // The block is called from start() until stop() or removeTapOnBus().
  // `bufferSize` (frames) is a request, not a promise.
  virtual void installTapOnBus(int bus, std::uint32_t bufferSize, AudioFormat format,
                               AudioTapBlock block) = 0;

  // After this returns the block is not running and is not called again.
  // Harmless without a tap.
  virtual void removeTapOnBus(int bus) = 0;
};

// One capture session. A new engine is stopped.
class AudioEngine {
 public:
  virtual ~AudioEngine() = default;

  virtual AudioInputNode& inputNode() = 0;
  virtual void prepare() = 0;

  // Starts capture. Returns nothing on success, or one readable sentence that
  // says why capture could not start.
  virtual std::optional<std::string> startAndReturnError() = 0;

  // Stops capture at once: after this returns the tap block is not running
  // and is not called again. It never waits for the device, which may hand
  // over its next buffer only seconds later; the device may be released
  // after this returns, on another thread. An engine does not start again.
  // Harmless when not running, and when called twice.
  virtual void stop() = 0;
};

// What a job asks of its capture.
struct CaptureRequest {
  // Remove from the microphone's signal what the computer itself plays, where
  // the backend can hear that (the monitor of the default output) and the
  // input is not echo-cancelled already. Elsewhere the microphone is as is.
  bool cancelEcho = false;
};

class AudioCapture {
 public:
  virtual ~AudioCapture() = default;

  // A new, stopped engine. Cheap: the device is opened by start.
  virtual std::shared_ptr<AudioEngine> makeEngine(const CaptureRequest& request) = 0;
};

}  // namespace speech_bridge
