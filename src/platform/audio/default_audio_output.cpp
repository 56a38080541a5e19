// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/audio/default_audio_output.h"

#include "platform/portaudio/portaudio_library.h"
#include "platform/portaudio/portaudio_playback.h"
#include "platform/pulse/pulse_connection.h"
#include "platform/pulse/pulse_playback.h"

namespace speech_bridge {

void prepareAudioOutput() {
  if (!PulseConnection::shared()) startPortAudio();
}

std::unique_ptr<AudioPlayback> openAudioPlayback(int sampleRate) {
  if (PulseConnection* connection = PulseConnection::shared()) return PulsePlayback::open(*connection, sampleRate);
  return PortAudioPlayback::open(sampleRate);
}

}  // namespace speech_bridge
