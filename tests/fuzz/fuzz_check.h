// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <cstdlib>

namespace speech_bridge::fuzz {

// Ends the run with a finding: libFuzzer keeps the input that broke the invariant.
[[noreturn]] inline void violated(const char* invariant, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: invariant violated: %s\n", file, line, invariant);
  std::abort();
}

}  // namespace speech_bridge::fuzz

// An invariant of every input; the report names the failed condition.
#define FUZZ_CHECK(condition) \
  ((condition) ? static_cast<void>(0) : ::speech_bridge::fuzz::violated(#condition, __FILE__, __LINE__))
