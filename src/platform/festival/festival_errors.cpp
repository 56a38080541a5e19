// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/festival/festival_errors.h"

#include <festival/festival.h>

namespace speech_bridge {

bool callCatchingFestivalErrors(void (*call)(void* context), void* context) {
  // Festival's own mechanism: it saves the jump target and the error
  // printers, sets its own, and puts them back on either way out.
  CATCH_ERRORS_QUIET() { return false; }
  call(context);
  END_CATCH_ERRORS();
  return true;
}

}  // namespace speech_bridge
