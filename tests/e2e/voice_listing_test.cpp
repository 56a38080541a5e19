// SPDX-License-Identifier: GPL-3.0-or-later
// --voices as a host reads it: every language a tag that the host's own
// parser takes, every identifier once.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <unistd.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "e2e/language_tag_syntax.h"
#include "e2e/program_runner.h"

namespace speech_bridge::e2e {
namespace {

TEST(LanguageTagSyntax, TakesWhatHostsParseAndRefusesTheRest) {
  for (const char* tag : {"en", "en-US", "EN-us", "cmn-Latn-pinyin", "es-419", "chr-Qaaa-US-x-west", "en-US-x-nyc",
                          "tlh-Piqd", "de-CH-1996", "sl-rozaj-biske", "en-a-bbb-x-a-ccc", "yue", "haw"}) {
    EXPECT_TRUE(isWellFormedLanguageTag(tag)) << tag;
  }
  for (const char* tag : {"", "piqd", "chr-US-Qaaa-x-west", "en-US-nyc", "zh-yue", "x-foo", "i-klingon", "en--US",
                          "en-", "-en", "de-1996-1996", "en-a-bb-a-cc", "en-a", "en-x", "en-x-abcdefghi", "en_US",
                          "e\xC3\xA9", "en-US-Latn", "abcdefghi"}) {
    EXPECT_FALSE(isWellFormedLanguageTag(tag)) << tag;
  }
}

TEST(VoiceListing, EveryLanguageIsAWellFormedTagAndEveryIdentifierIsListedOnce) {
  const ProgramResult result = runProgram({"--voices"});
  ASSERT_EQ(result.lines.size(), 1u) << result.standardOutput;
  const nlohmann::json voices = nlohmann::json::parse(result.lines[0])["voices"];
  ASSERT_GT(voices.size(), 100u);
  std::set<std::string> identifiers;
  for (const auto& voice : voices) {
    EXPECT_TRUE(isWellFormedLanguageTag(voice["language"].get<std::string>())) << voice.dump();
    EXPECT_TRUE(identifiers.insert(voice["id"].get<std::string>()).second) << "listed twice: " << voice.dump();
  }
}

TEST(VoiceListing, FestivalsVoicesAreFoundInTheirFoldersWithoutLoadingAnything) {
  // Every file the program opens, seen by strace: of Festival's folder only
  // folders are read, never a voice's definition nor Festival's own files.
  const std::string trace = "/tmp/speech-bridge-voices-" + std::to_string(::getpid()) + ".trace";
  RunningProgram traced({"-f", "-qq", "-e", "trace=open,openat", "-o", trace, programPath(), "--voices"}, {}, {},
                        "/usr/bin/strace");
  const ProgramResult result = traced.wait(std::chrono::seconds(30));
  ASSERT_EQ(result.exitStatus, 0) << result.standardError;
  std::ostringstream opened;
  opened << std::ifstream(trace).rdbuf();
  std::remove(trace.c_str());
  ASSERT_NE(opened.str().find("/usr/share/festival/voices/us\""), std::string::npos) << opened.str();
  std::istringstream lines(opened.str());
  for (std::string line; std::getline(lines, line);) {
    if (line.find("/usr/share/festival") == std::string::npos) continue;
    EXPECT_NE(line.find("O_DIRECTORY"), std::string::npos) << line;
  }

  const nlohmann::json voices = nlohmann::json::parse(result.lines.at(0))["voices"];
  EXPECT_EQ(voices.at(0), (nlohmann::json{{"id", "festival/cmu_us_slt_arctic_hts"},
                                          {"language", "en-US"},
                                          {"name", "Festival slt (American English, HTS)"}}))
      << "festvox-us-slt-hts is installed";
}

}  // namespace
}  // namespace speech_bridge::e2e
