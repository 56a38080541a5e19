// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace speech_bridge {

// PortAudio for the whole process: started on first use, kept until exit.
//
// Starting takes tens of milliseconds (ALSA and JACK probe their devices), so
// only jobs that need sound call this. ALSA's, JACK's and PortAudio's own
// diagnostics are silenced first: nothing may reach standard error.
// Thread-safe; every call after the first returns the first call's answer.
bool startPortAudio();

}  // namespace speech_bridge
