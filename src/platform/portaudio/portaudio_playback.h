// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/audio_output.h"

namespace speech_bridge {

// The default output device through PortAudio, for a machine where no sound
// server answers. The device is closed when the object is destroyed, which
// must not happen on the audio thread.
class PortAudioPlayback final : public AudioPlayback {
 public:
  // Starts PortAudio if needed and opens the default output device. Nothing
  // when there is no usable output device.
  static std::unique_ptr<PortAudioPlayback> open(int sampleRate);

  ~PortAudioPlayback() override;
  PortAudioPlayback(const PortAudioPlayback&) = delete;
  PortAudioPlayback& operator=(const PortAudioPlayback&) = delete;

  bool write(const std::int16_t* samples, std::size_t count) override;
  void finishWriting() override;
  Ending waitUntilEnded() override;
  void stop() override;
  void stopAfter(std::size_t sampleCount) override;
  std::size_t samplesPlayed() const override;

  struct State;

 private:
  explicit PortAudioPlayback(std::unique_ptr<State> state);
  void start();

  std::unique_ptr<State> state_;
};

// Playback on PortAudio's default output device.
class PortAudioOutput final : public AudioOutput {
 public:
  void prepare() override;
  std::unique_ptr<AudioPlayback> openPlayback(int sampleRate) override { return PortAudioPlayback::open(sampleRate); }
};

}  // namespace speech_bridge
