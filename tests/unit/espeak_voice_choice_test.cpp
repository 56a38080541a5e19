// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/espeak-ng/espeak_voice_choice.h"

#include <gtest/gtest.h>

namespace speech_bridge {
namespace {

EspeakVoice voice(const std::string& identifier, std::vector<std::pair<int, std::string>> languages) {
  return {{identifier, identifier, ""}, std::move(languages)};
}

// A few entries as eSpeak NG lists them, priorities included.
class EspeakVoiceChoiceTest : public ::testing::Test {
 protected:
  std::string chosen(const std::string& tag) const {
    const EspeakVoice* found = voiceForLanguage(voices, tag);
    return found ? found->voice.identifier : "none";
  }

  std::vector<EspeakVoice> voices = {
      voice("gmw/en-029", {{5, "en-029"}, {10, "en"}}),
      voice("gmw/en", {{2, "en-gb"}, {2, "en"}}),
      voice("gmw/en-GB-x-rp", {{5, "en-gb-x-rp"}, {4, "en-gb"}, {5, "en"}}),
      voice("gmw/en-US", {{2, "en-us"}, {3, "en"}}),
      voice("gmw/de", {{5, "de"}}),
      voice("roa/es", {{5, "es"}}),
      voice("roa/es-419", {{5, "es-419"}, {6, "es-mx"}, {6, "es"}}),
      voice("sit/cmn", {{5, "cmn"}, {5, "zh-cmn"}, {5, "zh"}}),
  };
};

TEST_F(EspeakVoiceChoiceTest, RegionTagsInEitherSpellingAndCase) {
  EXPECT_EQ(chosen("en-US"), "gmw/en-US");
  EXPECT_EQ(chosen("en_US"), "gmw/en-US");
  EXPECT_EQ(chosen("EN-us"), "gmw/en-US");
  EXPECT_EQ(chosen("en-GB"), "gmw/en");
}

TEST_F(EspeakVoiceChoiceTest, ARegionWithoutItsOwnVoiceFallsBackToTheLanguage) {
  EXPECT_EQ(chosen("de-DE"), "gmw/de");
  EXPECT_EQ(chosen("de_AT"), "gmw/de");
  EXPECT_EQ(chosen("de"), "gmw/de");
  EXPECT_EQ(chosen("en-AU"), "gmw/en") << "the best-ranked speaker of plain English";
  EXPECT_EQ(chosen("zh-CN"), "sit/cmn");
}

TEST_F(EspeakVoiceChoiceTest, ARegionNamedAsAnotherLanguageOfAVoiceFindsIt) {
  EXPECT_EQ(chosen("es-MX"), "roa/es-419");
  EXPECT_EQ(chosen("es"), "roa/es");
}

TEST_F(EspeakVoiceChoiceTest, PosixLocaleSuffixesAndPrivateUseAreIgnored) {
  EXPECT_EQ(chosen("en_US.UTF-8"), "gmw/en-US");
  EXPECT_EQ(chosen("de_DE@euro"), "gmw/de");
  EXPECT_EQ(chosen("en-GB-x-rp"), "gmw/en-GB-x-rp");
  EXPECT_EQ(chosen("en-US-x-twang"), "gmw/en-US");
}

TEST_F(EspeakVoiceChoiceTest, NoVoiceForAnUnknownOrEmptyTag) {
  EXPECT_EQ(chosen("xx-YY"), "none");
  EXPECT_EQ(chosen(""), "none");
  EXPECT_EQ(chosen("--voice"), "none");
  EXPECT_EQ(chosen("e"), "none") << "no prefix match on letters";
}

}  // namespace
}  // namespace speech_bridge
