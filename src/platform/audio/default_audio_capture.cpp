// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/audio/default_audio_capture.h"

#include "platform/portaudio/portaudio_capture.h"
#include "platform/pulse/pulse_capture.h"
#include "platform/pulse/pulse_connection.h"

namespace speech_bridge {

std::shared_ptr<AudioEngine> DefaultAudioCapture::makeEngine() {
  if (PulseConnection* connection = PulseConnection::shared()) return PulseCapture(*connection).makeEngine();
  return PortAudioCapture().makeEngine();
}

}  // namespace speech_bridge
