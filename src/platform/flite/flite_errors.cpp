// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/flite/flite_errors.h"

#include <flite/flite.h>

#include <csetjmp>

#include "platform/library/discarded_standard_error.h"

namespace speech_bridge {

bool callCatchingFliteErrors(void (*call)(void* context), void* context) {
  jmp_buf target;
  jmp_buf* const outer = cst_errjmp;
  cst_errjmp = &target;
  bool returned = false;
  if (setjmp(target) == 0) {
    call(context);
    returned = true;
  }
  cst_errjmp = outer;
  return returned;
}

// cst_errmsg() and the few perror() calls are all Flite prints, on `stderr`;
// its other output (playing, sockets) is never used here.
void silenceFlite() { discardStandardErrorStream(); }

}  // namespace speech_bridge
