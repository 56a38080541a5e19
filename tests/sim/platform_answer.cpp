// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/platform_answer.h"

#include <gtest/gtest.h>

#include "sim/simulated_main_loop.h"

namespace speech_bridge::sim {

void answerInsideTheCall(SimulatedMainLoop& loop, const Task& answer) {
  const int before = loop.postsMade();
  answer();
  EXPECT_EQ(loop.postsMade(), before + 1) << "a platform callback must post exactly one task";
}

void deliverPlatformAnswer(SimulatedMainLoop& loop, double at, Task answer) {
  loop.schedulePlatformEvent(at, [&loop, answer = std::move(answer)] { answerInsideTheCall(loop, answer); });
}

}  // namespace speech_bridge::sim
