// SPDX-License-Identifier: GPL-3.0-or-later
// --voices as a host reads it: every language a tag that the host's own
// parser takes, every identifier once.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <set>
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

}  // namespace
}  // namespace speech_bridge::e2e
