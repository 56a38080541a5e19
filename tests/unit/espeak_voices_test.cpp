#include <gtest/gtest.h>

#include <set>

#include "platform/espeak-ng/espeak_synthesis.h"
#include "platform/posix/posix_main_loop.h"

namespace speech_bridge {
namespace {

TEST(EspeakLanguageTag, LanguageLowerRegionUpperScriptTitle) {
  EXPECT_EQ(languageTagFromEspeak("en-us"), "en-US");
  EXPECT_EQ(languageTagFromEspeak("en"), "en");
  EXPECT_EQ(languageTagFromEspeak("es-419"), "es-419");
  EXPECT_EQ(languageTagFromEspeak("cmn-latn-pinyin"), "cmn-Latn-pinyin");
  EXPECT_EQ(languageTagFromEspeak("chr-US-Qaaa-x-west"), "chr-US-Qaaa-x-west");
  EXPECT_EQ(languageTagFromEspeak("en-gb-x-rp"), "en-GB-x-rp");
  EXPECT_EQ(languageTagFromEspeak("EN_us"), "en-US");
}

// Needs eSpeak NG's voice data (package espeak-ng-data).
TEST(EspeakVoices, ListsTheInstalledInventoryWithUniqueIdentifiers) {
  PosixMainLoop loop;
  EspeakSynthesis synthesis(loop);
  const std::vector<SpeechVoice> voices = synthesis.speechVoices();
  ASSERT_GT(voices.size(), 50u);
  std::set<std::string> identifiers;
  for (const SpeechVoice& voice : voices) {
    EXPECT_FALSE(voice.identifier.empty());
    EXPECT_FALSE(voice.name.empty());
    EXPECT_FALSE(voice.language.empty());
    identifiers.insert(voice.identifier);
    EXPECT_EQ(synthesis.voiceWithIdentifier(voice.identifier)->identifier, voice.identifier);
  }
  EXPECT_EQ(identifiers.size(), voices.size());
  EXPECT_EQ(synthesis.voiceWithIdentifier("no/such-voice"), std::nullopt);
}

}  // namespace
}  // namespace speech_bridge
