// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include "platform/audio_capture.h"

namespace speech_bridge {

// The default input device: through the sound server's PulseAudio protocol
// (PulseAudio, or PipeWire through pipewire-pulse) when one answers, and
// otherwise through PortAudio (plain ALSA). makeEngine() connects to the
// server the first time it is called, which takes a few milliseconds.
class DefaultAudioCapture final : public AudioCapture {
 public:
  std::shared_ptr<AudioEngine> makeEngine() override;
};

}  // namespace speech_bridge
