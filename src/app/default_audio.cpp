// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/default_audio.h"

#include <mutex>
#include <optional>

#include "platform/audio/least_squares_echo_canceller.h"
#include "platform/portaudio/portaudio_capture.h"
#include "platform/portaudio/portaudio_playback.h"
#include "platform/pulse/pulse_capture.h"
#include "platform/pulse/pulse_connection.h"
#include "platform/pulse/pulse_playback.h"

namespace speech_bridge {

std::shared_ptr<AudioEngine> DefaultAudioCapture::makeEngine(const CaptureRequest& request) {
  if (PulseConnection* connection = PulseConnection::shared()) {
    return PulseCapture(*connection, &makeLeastSquaresEchoCanceller).makeEngine(request);
  }
  // PortAudio (plain ALSA) has no monitor of what is played: no cancelling.
  return PortAudioCapture().makeEngine(request);
}

struct DefaultAudioOutput::Backends {
  std::once_flag chosen;
  std::optional<PulseOutput> pulse;
  PortAudioOutput portAudio;
};

DefaultAudioOutput::DefaultAudioOutput() : backends_(std::make_unique<Backends>()) {}
DefaultAudioOutput::~DefaultAudioOutput() = default;

AudioOutput& DefaultAudioOutput::backend() {
  Backends& backends = *backends_;
  std::call_once(backends.chosen, [&backends] {
    if (PulseConnection* connection = PulseConnection::shared()) backends.pulse.emplace(*connection);
  });
  if (backends.pulse) return *backends.pulse;
  return backends.portAudio;
}

void DefaultAudioOutput::prepare() { backend().prepare(); }

std::unique_ptr<AudioPlayback> DefaultAudioOutput::openPlayback(int sampleRate) {
  return backend().openPlayback(sampleRate);
}

}  // namespace speech_bridge
