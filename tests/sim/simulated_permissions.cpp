// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/simulated_permissions.h"

#include <gtest/gtest.h>

#include "sim/platform_answer.h"
#include "sim/simulated_main_loop.h"

namespace speech_bridge::sim {

void SimulatedPermissions::requestMicrophoneAccess(std::function<void(bool granted)> completion) {
  calls_.record("requestMicrophoneAccess");
  if (!microphone) {
    ADD_FAILURE() << "unscripted requestMicrophoneAccess";
    return;
  }
  if (!microphone->granted) return;
  const bool granted = *microphone->granted;
  if (microphone->insideTheCall) {
    answerInsideTheCall(loop_, [&completion, granted] { completion(granted); });
    return;
  }
  deliverPlatformAnswer(loop_, loop_.now() + microphone->after,
                        [completion = std::move(completion), granted] { completion(granted); });
}

}  // namespace speech_bridge::sim
