// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace speech_bridge {

class SpeechBridge;

inline constexpr double kOverallDeadlineSeconds = 90.0;
inline constexpr double kSliceSeconds = 0.05;

// What lives as long as the process: the one bridge, the arguments, the
// locale, and the overall deadline. Kept in one object so that a test can run
// many jobs in one process.
struct Process {
  explicit Process(Platform& platform) : platform(platform) {}

  Platform& platform;
  std::shared_ptr<SpeechBridge> bridge;
  std::vector<std::string> args;
  std::string locale;
  double absoluteDeadline = 0.0;  // on the main loop's monotonic clock
};

// Runs one whole job for `args` (without the program path) and returns the
// exit status to end the process with.
int runProcess(Process& process, std::vector<std::string> args);

// Turns the main loop in slices until the job is done or the overall deadline
// has passed, which fails the job. Returns the exit status.
int waitForJob(Process& process);

}  // namespace speech_bridge
