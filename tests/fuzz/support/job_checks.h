// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "sim/simulated_platform.h"

namespace speech_bridge::fuzz {

// Makes every complaint of the simulated services (they report through
// gtest) end the run as a finding. Call once, from LLVMFuzzerInitialize.
void makeServiceComplaintsFatal();

// What every job shows, whatever its input: each line one JSON object with
// an "event"; exactly one "final" or "error", and it is the last line; exit
// status 0 after "final" and 1 after "error"; the job over within the
// overall deadline and one slice; an error message among `messages` (an
// entry ending in ": " stands for itself followed by any description).
void checkJobEnding(const sim::JobOutcome& outcome, const std::vector<std::string>& messages);

// The exact line of an "error" event with `message`.
std::string errorLine(const std::string& message);

}  // namespace speech_bridge::fuzz
