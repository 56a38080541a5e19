// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/job_checks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "app/process.h"
#include "fuzz_check.h"

namespace speech_bridge::fuzz {
namespace {

class AbortOnFailure final : public testing::EmptyTestEventListener {
  void OnTestPartResult(const testing::TestPartResult& result) override {
    if (!result.failed()) return;
    std::fprintf(stderr, "%s:%d: a simulated service complained:\n%s\n",
                 result.file_name() ? result.file_name() : "?", result.line_number(), result.message());
    std::abort();
  }
};

bool allowed(const std::string& message, const std::vector<std::string>& messages) {
  return std::any_of(messages.begin(), messages.end(), [&](const std::string& known) {
    const bool prefix = known.size() >= 2 && known.compare(known.size() - 2, 2, ": ") == 0;
    return prefix ? message.rfind(known, 0) == 0 : message == known;
  });
}

}  // namespace

void makeServiceComplaintsFatal() {
  testing::UnitTest::GetInstance()->listeners().Append(new AbortOnFailure);
}

void checkJobEnding(const sim::JobOutcome& outcome, const std::vector<std::string>& messages) {
  FUZZ_CHECK(!outcome.lines.empty());
  int finishing = 0;
  for (const std::string& line : outcome.lines) {
    const nlohmann::json event = nlohmann::json::parse(line, nullptr, false);
    FUZZ_CHECK(event.is_object() && event.contains("event") && event["event"].is_string());
    const std::string kind = event["event"];
    if (kind == "final" || kind == "error") ++finishing;
  }
  FUZZ_CHECK(finishing == 1);
  const nlohmann::json last = nlohmann::json::parse(outcome.lines.back());
  const std::string kind = last["event"];
  FUZZ_CHECK(kind == "final" || kind == "error");
  FUZZ_CHECK(outcome.exitStatus == (kind == "final" ? 0 : 1));
  if (kind == "error") {
    FUZZ_CHECK(last.size() == 2 && last.contains("message") && last["message"].is_string());
    FUZZ_CHECK(allowed(last["message"], messages));
  }
  FUZZ_CHECK(outcome.endedAt >= outcome.startedAt);
  FUZZ_CHECK(outcome.endedAt <= outcome.startedAt + kOverallDeadlineSeconds + kSliceSeconds + 1e-6);
}

// The program's messages hold nothing that JSON escapes.
std::string errorLine(const std::string& message) { return R"({"event":"error","message":")" + message + R"("})"; }

}  // namespace speech_bridge::fuzz
