// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <set>

#include "app/default_audio.h"
#include "platform/espeak-ng/espeak_engine.h"
#include "platform/espeak-ng/espeak_language_tag.h"
#include "platform/posix/posix_main_loop.h"
#include "platform/speech/engine_synthesis.h"

namespace speech_bridge {
namespace {

// eSpeak NG's voices as the program's synthesis offers them.
EngineSynthesis& espeakSynthesis() {
  static PosixMainLoop loop;
  static DefaultAudioOutput output;
  static EngineSynthesis synthesis(loop, output, {EspeakEngine::shared()});
  return synthesis;
}

TEST(EspeakLanguageTag, LanguageLowerRegionUpperScriptTitle) {
  EXPECT_EQ(languageTagFromEspeak("en-us"), "en-US");
  EXPECT_EQ(languageTagFromEspeak("en"), "en");
  EXPECT_EQ(languageTagFromEspeak("es-419"), "es-419");
  EXPECT_EQ(languageTagFromEspeak("cmn-latn-pinyin"), "cmn-Latn-pinyin");
  EXPECT_EQ(languageTagFromEspeak("en-gb-x-rp"), "en-GB-x-rp");
  EXPECT_EQ(languageTagFromEspeak("EN_us"), "en-US");
}

TEST(EspeakLanguageTag, WhatIsNoTagOfItsKindIsMadeOne) {
  EXPECT_EQ(languageTagFromEspeak("chr-US-Qaaa-x-west"), "chr-Qaaa-US-x-west") << "the script before the region";
  EXPECT_EQ(languageTagFromEspeak("en-us-nyc"), "en-US-x-nyc") << "no variant: private use";
  EXPECT_EQ(languageTagFromEspeak("piqd"), "tlh-Piqd") << "Klingon in its script";
  EXPECT_EQ(languageTagFromEspeak("de-1996-1996"), "de-1996");
  EXPECT_EQ(languageTagFromEspeak("latn"), "und-Latn");
  EXPECT_EQ(languageTagFromEspeak("en-a-bc-x-y"), "en-x-a-bc-x-y");
  EXPECT_EQ(languageTagFromEspeak("en-toolongsubtag-x-fine"), "en-x-fine");
  EXPECT_EQ(languageTagFromEspeak(""), "und");
}

// Needs eSpeak NG's voice data (package espeak-ng-data).
TEST(EspeakVoices, ListsTheInstalledInventoryWithUniqueIdentifiers) {
  EngineSynthesis& synthesis = espeakSynthesis();
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
  // Exactly what the listing says: eSpeak NG itself would also take these.
  EXPECT_EQ(synthesis.voiceWithIdentifier("gmw/en-us"), std::nullopt);
  EXPECT_EQ(synthesis.voiceWithIdentifier("English (America)"), std::nullopt);
  EXPECT_EQ(synthesis.voiceWithIdentifier("en-US"), std::nullopt);
}

// Needs eSpeak NG's voice data.
TEST(EspeakVoices, LanguagesFindTheirInstalledVoices) {
  EngineSynthesis& synthesis = espeakSynthesis();
  const auto identifierFor = [&](const std::string& tag) {
    const auto found = synthesis.voiceWithLanguage(tag);
    return found ? found->identifier : "none";
  };
  EXPECT_EQ(identifierFor("en-US"), "gmw/en-US");
  EXPECT_EQ(identifierFor("en_US"), "gmw/en-US");
  EXPECT_EQ(identifierFor("de-DE"), "gmw/de");
  EXPECT_EQ(identifierFor("de"), "gmw/de");
  EXPECT_EQ(identifierFor("fr-CA"), "roa/fr");
  EXPECT_EQ(identifierFor("pt-BR"), "roa/pt-BR");
  EXPECT_EQ(identifierFor("xx-YY"), "none");
  // As listed, and as eSpeak NG names them.
  EXPECT_EQ(identifierFor("en-US-x-nyc"), "gmw/en-US-nyc");
  EXPECT_EQ(identifierFor("en-us-nyc"), "gmw/en-US-nyc");
  EXPECT_EQ(identifierFor("tlh-Piqd"), "art/piqd");
  EXPECT_EQ(identifierFor("piqd"), "art/piqd");
  EXPECT_EQ(identifierFor("chr-Qaaa-US-x-west"), "iro/chr");
}

// Needs eSpeak NG's voice data.
TEST(EspeakVoices, EveryListedLanguageFindsAVoiceOfThatLanguage) {
  EngineSynthesis& synthesis = espeakSynthesis();
  for (const SpeechVoice& voice : synthesis.speechVoices()) {
    const auto found = synthesis.voiceWithLanguage(voice.language);
    ASSERT_TRUE(found) << voice.identifier << " " << voice.language;
    EXPECT_EQ(found->language, voice.language) << voice.identifier;
  }
}

// Needs eSpeak NG's voice data. On the engine thread, as the synthesizer
// does it.
TEST(EspeakEngine, EveryListedVoiceCanSpeak) {
  EspeakEngine& engine = EspeakEngine::shared();
  std::promise<std::vector<std::string>> failures;
  engine.submit([&] {
    std::vector<std::string> failed;
    if (!engine.startSynthesis()) failed.push_back("start");
    for (const EspeakVoice& entry : engine.inventory()) {
      if (!engine.selectVoice(entry.voice.identifier)) failed.push_back(entry.voice.identifier);
    }
    if (engine.selectVoice("gmw/en-us")) failed.push_back("a miscased identifier was taken");
    failures.set_value(failed);
  });
  EXPECT_EQ(failures.get_future().get(), std::vector<std::string>{});
}

// Needs eSpeak NG's voice data.
TEST(EspeakEngine, SynthesisComesInShortBlocksAndCanBeAborted) {
  EspeakEngine& engine = EspeakEngine::shared();
  struct Heard {
    std::size_t blocks = 0, samples = 0, largestBlock = 0;
    int sampleRate = 0;
    bool done = false;
  };
  std::promise<std::pair<Heard, Heard>> result;
  engine.submit([&] {
    Heard whole, aborted;
    engine.startSynthesis();
    engine.selectDefaultVoice();
    whole.sampleRate = engine.sampleRate();
    whole.done = engine.synthesize("Hold position near the northern gate.", [&](const std::int16_t*, std::size_t count) {
      ++whole.blocks;
      whole.samples += count;
      whole.largestBlock = std::max(whole.largestBlock, count);
      return true;
    });
    aborted.done = engine.synthesize("Hold position near the northern gate.", [&](const std::int16_t*, std::size_t count) {
      ++aborted.blocks;
      aborted.samples += count;
      return aborted.blocks < 2;
    });
    result.set_value({whole, aborted});
  });
  const auto [whole, aborted] = result.get_future().get();
  EXPECT_EQ(whole.sampleRate, 22050);
  EXPECT_TRUE(whole.done);
  EXPECT_GT(whole.samples, 22050u) << "over a second of speech";
  EXPECT_LE(whole.largestBlock, 22050u / 10) << "blocks of about 50 ms";
  EXPECT_TRUE(aborted.done);
  EXPECT_EQ(aborted.blocks, 2u) << "no block after the consumer said stop";
}

}  // namespace
}  // namespace speech_bridge
