// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/main_loop.h"

namespace speech_bridge::sim {

class SimulatedMainLoop;

// Calls `answer` at virtual time `at`, as a service thread would, and fails
// the test unless the callback did nothing but post exactly one task: a
// receiver must never act on an answer inside the service's call.
void deliverPlatformAnswer(SimulatedMainLoop& loop, double at, Task answer);

// Calls `answer` now, from inside the platform call that asked for it, as a
// platform with nothing to wait for may; the same check applies.
void answerInsideTheCall(SimulatedMainLoop& loop, const Task& answer);

}  // namespace speech_bridge::sim
