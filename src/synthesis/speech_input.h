// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace speech_bridge {

struct Process;

// Starts the --speak mode: reads the text to speak from standard input on a
// background thread, bounded in size and in time, and hands it to speak().
void startSpeechInput(Process& process);

}  // namespace speech_bridge
