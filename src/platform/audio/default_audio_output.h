// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include "platform/audio/audio_playback.h"

namespace speech_bridge {

// The default output device: through the sound server's PulseAudio protocol
// (PulseAudio, or PipeWire through pipewire-pulse) when one answers, and
// otherwise through PortAudio (plain ALSA).

// Connects to the sound server, or starts PortAudio when none answers: tens
// of milliseconds that a job can spend while it waits for its text. Any
// thread; only the first call does anything.
void prepareAudioOutput();

// Opens the default output device for mono samples at `sampleRate`. Nothing
// when there is no usable output device.
std::unique_ptr<AudioPlayback> openAudioPlayback(int sampleRate);

}  // namespace speech_bridge
