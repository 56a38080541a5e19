// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include "platform/audio_output.h"

namespace speech_bridge {

// The default output device through PortAudio, for a machine where no sound
// server answers. A playback's device is closed when the playback is
// destroyed, which must not happen on the audio thread.
class PortAudioOutput final : public AudioOutput {
 public:
  // Starts PortAudio.
  void prepare() override;
  // Starts PortAudio if needed and opens the default output device; nothing
  // when there is no usable output device.
  std::unique_ptr<AudioPlayback> openPlayback(int sampleRate) override;
};

}  // namespace speech_bridge
