// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include "platform/echo_canceller.h"

namespace speech_bridge {

// A canceller that keeps its hold while the player speaks over the echo.
// The echo's delay (the sink's latency, the room's path, the two streams'
// starts) is found from the sound itself, by the reference's best
// correlation with the microphone, and found again as the job goes on (the
// streams' delay hint, which holds only the sink's latency, is not needed).
// A short filter around that delay is then the least-squares fit of the
// reference to the microphone over the last seconds: the player's words do
// not correlate with what is played, so they barely move the fit, where an
// adaptive filter's steps (SpeexDSP's, WebRTC's) wander off while both
// sound at once. Until the delay is first found, the microphone goes on as
// it is; once it is, the fit is made over the last half second heard, so
// that what began playing meanwhile is cancelled from the next frame. What
// is left of a frame that was the speakers' alone goes quieter still: a
// ship's spoken reply must not leave words behind. Any sample rate from
// 8 kHz; nullptr outside that.
std::unique_ptr<EchoCanceller> makeLeastSquaresEchoCanceller(int sampleRate);

}  // namespace speech_bridge
