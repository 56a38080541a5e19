// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "e2e/program_runner.h"

namespace speech_bridge::e2e {
namespace {

const std::string kUsageLine =
    R"({"event":"error","message":"Usage: --listen | --speak | --voices | --transcribe-file PATH [--locale en-US] [--voice ID]"})";

void expectUsageError(const std::vector<std::string>& args) {
  const ProgramResult result = runProgram(args);
  EXPECT_EQ(result.lines, std::vector<std::string>{kUsageLine});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.standardError, "");
}

TEST(ProcessFrame, NoArgumentsIsTheUsageError) { expectUsageError({}); }

TEST(ProcessFrame, UnknownOrMiscasedModeIsTheUsageError) {
  expectUsageError({"--bogus"});
  expectUsageError({"--LISTEN"});
  expectUsageError({"listen"});
  expectUsageError({"--locale", "en-US", "--listen"});
}

TEST(ProcessFrame, TranscribeFileWithoutPathFails) {
  const ProgramResult result = runProgram({"--transcribe-file"});
  EXPECT_EQ(result.lines,
            std::vector<std::string>{R"({"event":"error","message":"--transcribe-file requires a local audio path"})"});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.standardError, "");
}

TEST(ProcessFrame, VoicesListsEveryVoiceOnOneLine) {
  const ProgramResult result = runProgram({"--voices"});
  ASSERT_EQ(result.lines.size(), 1u) << result.standardOutput;
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.standardError, "");
  EXPECT_EQ(result.standardOutput.back(), '\n');

  const nlohmann::json event = nlohmann::json::parse(result.lines[0]);
  EXPECT_EQ(event["event"], "final");
  ASSERT_TRUE(event["voices"].is_array());
  ASSERT_GT(event["voices"].size(), 50u) << "eSpeak NG ships over a hundred voices";
  bool english = false;
  for (const auto& voice : event["voices"]) {
    ASSERT_EQ(voice.size(), 3u);
    EXPECT_TRUE(voice["id"].is_string() && voice["name"].is_string() && voice["language"].is_string());
    if (voice["language"] == "en-US") english = true;
  }
  EXPECT_TRUE(english) << "American English is listed with a region in upper case";
  // Identifiers such as "gmw/en-US" carry a solidus, which is written escaped.
  EXPECT_NE(result.lines[0].find(R"(\/)"), std::string::npos);
  // Compact, sorted at every level, the solidus escaped: the line is exactly
  // the canonical dump of what it holds.
  std::string canonical;
  for (char c : event.dump(-1, ' ', false)) {
    if (c == '/') canonical += '\\';
    canonical += c;
  }
  EXPECT_EQ(result.lines[0], canonical);
}

TEST(ProcessFrame, VoicesIgnoresFurtherArguments) {
  const ProgramResult plain = runProgram({"--voices"});
  const ProgramResult extra = runProgram({"--voices", "--locale", "de-DE", "--voice", "x", "junk"});
  EXPECT_EQ(plain.lines, extra.lines);
  EXPECT_EQ(extra.exitStatus, 0);
}

}  // namespace
}  // namespace speech_bridge::e2e
