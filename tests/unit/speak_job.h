// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/process.h"
#include "bridge/speech_bridge.h"
#include "sim/simulated_platform.h"

namespace speech_bridge {

inline const std::string kReadyLine = R"({"event":"ready","mode":"speak"})";
inline const std::string kFinalLine = R"({"event":"final","mode":"speak"})";

inline std::string errorLine(const std::string& message) {
  return R"({"event":"error","message":")" + message + R"("})";
}

// A --speak job on the simulated platform, with a small voice inventory. The
// Process outlives the job, so a test can keep the loop turning afterwards and
// see what late input or late callbacks do.
class SpeakJobTest : public ::testing::Test {
 protected:
  SpeakJobTest() {
    sim.synthesis.voices = {{"gmw/en-US", "English (America)", "en-US"},
                            {"gmw/de", "German", "de-DE"},
                            {"gmw/en", "English (Great Britain)", "en-GB"}};
  }

  // Writes `text` and closes standard input `closedAfter` seconds into the job.
  void hostWrites(const std::string& text, double closedAfter = 0.1) {
    sim.streams.feedInputAt(start + closedAfter, text);
    sim.streams.closeInputAt(start + closedAfter);
  }

  sim::JobOutcome run(std::vector<std::string> args = {"--speak"}) {
    sim::JobOutcome outcome;
    outcome.startedAt = sim.loop.now();
    outcome.exitStatus = runProcess(process, std::move(args));
    outcome.endedAt = sim.loop.now();
    outcome.lines = sim.streams.outputLines();
    return outcome;
  }

  // Lets the virtual clock run on after the job, as if the process had not exited.
  void keepRunningUntil(double secondsAfterStart) { sim.loop.runUntil(start + secondsAfterStart); }

  sim::SimulatedPlatform sim;
  const double start = sim.loop.now();
  Process process{sim.platform};
};

}  // namespace speech_bridge
