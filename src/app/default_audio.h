// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include "platform/audio_capture.h"
#include "platform/audio_output.h"

namespace speech_bridge {

// The default input and output devices: through the sound server's PulseAudio
// protocol (PulseAudio, or PipeWire through pipewire-pulse) when one answers,
// and otherwise through PortAudio (plain ALSA). The server is looked for on
// first use, which takes a few milliseconds, and the answer is kept. Capture
// through the server cancels the echo (least_squares_echo_canceller.h) when
// asked to.

class DefaultAudioCapture final : public AudioCapture {
 public:
  std::shared_ptr<AudioEngine> makeEngine(const CaptureRequest& request) override;
};

class DefaultAudioOutput final : public AudioOutput {
 public:
  DefaultAudioOutput();
  ~DefaultAudioOutput() override;

  void prepare() override;
  std::unique_ptr<AudioPlayback> openPlayback(int sampleRate) override;

 private:
  // The backend, chosen on first use. Any thread.
  AudioOutput& backend();

  struct Backends;
  std::unique_ptr<Backends> backends_;
};

}  // namespace speech_bridge
