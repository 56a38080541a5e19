// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include "platform/audio_output.h"

namespace speech_bridge {

class PulseConnection;

// The default output device through a sound server's PulseAudio protocol
// (PulseAudio, or PipeWire through pipewire-pulse).
//
// The producer's samples wait in a queue of their own, seconds long, so that
// synthesis runs ahead of the sound; the server is handed about 50 ms at a
// time, from the producer's thread as it writes and from the loop's thread as
// the server asks for more. stop() takes the stream down at once, which drops
// what the server still holds. A server that dies ends the playback as failed.
class PulsePlayback final : public AudioPlayback {
 public:
  // Opens a playback stream on the default sink. Nothing when the server has
  // no usable sink. `connection` outlives the playback.
  static std::unique_ptr<PulsePlayback> open(PulseConnection& connection, int sampleRate);

  ~PulsePlayback() override;
  PulsePlayback(const PulsePlayback&) = delete;
  PulsePlayback& operator=(const PulsePlayback&) = delete;

  bool write(const std::int16_t* samples, std::size_t count) override;
  void finishWriting() override;
  Ending waitUntilEnded() override;
  void stop() override;
  void stopAfter(std::size_t sampleCount) override;
  std::size_t samplesPlayed() const override;

  struct State;

 private:
  explicit PulsePlayback(std::unique_ptr<State> state);

  std::unique_ptr<State> state_;
};

// Playback on the default sink of a server that answered.
class PulseOutput final : public AudioOutput {
 public:
  // `connection` outlives the output and every playback.
  explicit PulseOutput(PulseConnection& connection) : connection_(connection) {}

  void prepare() override {}  // connected already
  std::unique_ptr<AudioPlayback> openPlayback(int sampleRate) override {
    return PulsePlayback::open(connection_, sampleRate);
  }

 private:
  PulseConnection& connection_;
};

}  // namespace speech_bridge
