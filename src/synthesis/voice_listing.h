// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace speech_bridge {

class SpeechBridge;

// Ends the job with one "final" event listing every voice, in the engine's order.
void listVoices(SpeechBridge& bridge);

}  // namespace speech_bridge
