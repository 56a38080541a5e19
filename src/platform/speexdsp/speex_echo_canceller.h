// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include "platform/echo_canceller.h"

namespace speech_bridge {

// SpeexDSP's echo canceller: a short linear adaptive filter, which leaves
// the player's words as they were spoken even while the speakers sound. It
// converges within an order, but only where it starts at the echo: the
// echo's delay (the sink's latency, the room's path, the two streams'
// starts) is found from the sound itself, by the reference's best
// correlation with the microphone, and found again as the job goes on (the
// streams' delay hint, which holds only the sink's latency, is not needed).
// Until it is first found, the microphone goes on as it is; once it is, the
// filter first learns from the last half second heard, so that what began
// playing meanwhile is cancelled from the next frame. What it leaves of a
// frame that was the speakers' alone goes quieter still: a ship's spoken
// reply must not leave words behind. Any sample rate from 8 kHz; nullptr
// outside that.
std::unique_ptr<EchoCanceller> makeSpeexEchoCanceller(int sampleRate);

}  // namespace speech_bridge
