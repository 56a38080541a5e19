// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace speech_bridge {

// Runs `call(context)` and tells whether it returned: false when Flite raised
// an error on the way. Flite ends the process on an error unless a jump
// target is set, and jumps there when one is; `call` must therefore hold
// nothing that needs destroying while it is inside Flite. On Flite's thread
// only; calls may nest.
bool callCatchingFliteErrors(void (*call)(void* context), void* context);

// Makes Flite's diagnostics, which it prints on `stderr`, go nowhere.
void silenceFlite();

}  // namespace speech_bridge
