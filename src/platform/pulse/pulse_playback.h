// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include "platform/audio_output.h"

namespace speech_bridge {

class PulseConnection;

// The default output device through a sound server's PulseAudio protocol
// (PulseAudio, or PipeWire through pipewire-pulse).
//
// A playback's samples wait in a queue of their own, seconds long, so that
// synthesis runs ahead of the sound; the server is handed about 50 ms at a
// time, from the producer's thread as it writes and from the loop's thread as
// the server asks for more. stop() takes the stream down at once, which drops
// what the server still holds. A server that dies ends the playback as failed.
class PulseOutput final : public AudioOutput {
 public:
  // `connection` outlives the output and every playback.
  explicit PulseOutput(PulseConnection& connection) : connection_(connection) {}

  void prepare() override {}  // connected already
  // A playback stream on the default sink; nothing when the server has no
  // usable sink.
  std::unique_ptr<AudioPlayback> openPlayback(int sampleRate) override;

 private:
  PulseConnection& connection_;
};

}  // namespace speech_bridge
