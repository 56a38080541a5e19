// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include "platform/echo_canceller.h"

namespace speech_bridge {

// WebRTC's acoustic echo canceller (its audio processing module, 0.3): the
// extended filter, for the longer echo of a room and of speakers, and
// delay-agnostic alignment, which finds the echo's delay itself from the
// hint on, with the least suppression of what is left after cancelling.
// Noise suppression, gain control and the high-pass filter are off:
// the recognizer hears the microphone as it is, less the echo. Any sample
// rate; nullptr when the module cannot be made for it.
std::unique_ptr<EchoCanceller> makeWebRtcEchoCanceller(int sampleRate);

}  // namespace speech_bridge
