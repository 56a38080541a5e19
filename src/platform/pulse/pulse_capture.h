// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include "platform/audio_capture.h"
#include "platform/echo_canceller.h"

namespace speech_bridge {

class PulseConnection;

// The default input device through a sound server's PulseAudio protocol
// (PulseAudio, or PipeWire through pipewire-pulse).
//
// The format is the default source's sample rate and one channel: the server
// mixes every channel down for a mono stream. The stream asks for 20 ms
// fragments and adjusts the source's latency to them, so the first buffer
// arrives within tens of milliseconds of the start (the server's defaults can
// hold audio back for up to about 2 s). startAndReturnError() returns once
// the server has the stream recording.
//
// The tap runs on the connection's loop thread with what the server sent,
// about 20 ms at a time: `bufferSize` is not kept to. That thread never
// waits: while the tap is being removed, a buffer is dropped rather than
// waited for. stop() takes the stream down at once; it never waits for the
// server's next buffer. A server that dies mid-capture ends the delivery.
//
// With `cancelEcho` asked for, a canceller from `cancellers`, and a default
// source that is not a system echo canceller's, the engine also records the
// monitor of the default sink ("echo reference", 10 ms fragments) once the
// microphone records, without waiting for it, and hands the microphone to
// the tap through an EchoCancellingFilter: the microphone is never held back
// for the reference, and goes on uncancelled while the reference is late,
// fails or is gone. The reference reaches the canceller only. Cancelling
// cuts the microphone into 10 ms pieces: the tap gets them one at a time.
class PulseCapture final : public AudioCapture {
 public:
  // `connection` outlives every engine. An empty `cancellers` never cancels.
  PulseCapture(PulseConnection& connection, EchoCancellerMaker cancellers)
      : connection_(connection), cancellers_(std::move(cancellers)) {}

  std::shared_ptr<AudioEngine> makeEngine(const CaptureRequest& request) override;

 private:
  PulseConnection& connection_;
  EchoCancellerMaker cancellers_;
};

}  // namespace speech_bridge
