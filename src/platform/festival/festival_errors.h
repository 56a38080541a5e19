// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace speech_bridge {

// Runs `call(context)` and tells whether it returned: false when Festival
// raised an error on the way. Festival's errors jump (longjmp) to the target
// its error-catching mechanism sets, past whatever frames lie between: `call`
// must hold nothing that needs destroying while it is inside Festival. The
// message such an error would print is dropped. On Festival's thread only;
// calls may nest.
bool callCatchingFestivalErrors(void (*call)(void* context), void* context);

}  // namespace speech_bridge
