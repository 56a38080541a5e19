// SPDX-License-Identifier: GPL-3.0-or-later
// Flite's voices and engine, for real. Needs libflite1 (the voices' libraries).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <future>

#include "app/default_audio.h"
#include "platform/espeak-ng/espeak_engine.h"
#include "platform/flite/flite_engine.h"
#include "platform/flite/flite_voices.h"
#include "platform/posix/posix_main_loop.h"
#include "platform/speech/engine_synthesis.h"
#include "platform/speech/engine_text.h"

namespace speech_bridge {
namespace {

const std::string kSentence = "All ships hold position near the gate.";  // seven words

// What one synthesis on the engine thread produced.
struct Heard {
  bool done = false;
  int sampleRate = 0;
  std::size_t blocks = 0, samples = 0, largestBlock = 0;
  std::vector<std::size_t> wordStarts;
  std::size_t wordsBeforeTheFirstBlock = 0;
  std::vector<std::int16_t> sound;
};

// Seconds from the start of `samples` to the first one louder than 2 % of
// full scale, and from the last such one to the end.
std::pair<double, double> quietEnds(const std::vector<std::int16_t>& samples, int sampleRate) {
  const auto loud = [](std::int16_t sample) { return std::abs(sample) > 655; };
  const auto first = std::find_if(samples.begin(), samples.end(), loud);
  const auto last = std::find_if(samples.rbegin(), samples.rend(), loud);
  return {static_cast<double>(first - samples.begin()) / sampleRate,
          static_cast<double>(last - samples.rbegin()) / sampleRate};
}

Heard synthesize(const FliteVoice& voice, const std::string& text, std::size_t blocksWanted = SIZE_MAX) {
  FliteEngine& engine = FliteEngine::shared();
  std::promise<Heard> result;
  engine.submit([&] {
    Heard heard;
    heard.done = engine.synthesize(
        voice, text,
        [&](int sampleRate, const std::int16_t* samples, std::size_t count) {
          if (heard.blocks == 0) heard.wordsBeforeTheFirstBlock = heard.wordStarts.size();
          heard.sampleRate = sampleRate;
          heard.sound.insert(heard.sound.end(), samples, samples + count);
          ++heard.blocks;
          heard.samples += count;
          heard.largestBlock = std::max(heard.largestBlock, count);
          return heard.blocks < blocksWanted;
        },
        [&](std::size_t firstSample) { heard.wordStarts.push_back(firstSample); });
    result.set_value(heard);
  });
  return result.get_future().get();
}

TEST(FliteVoices, EnglishAndAmericanEnglishGetTheDefaultVoiceAndNothingElseDoes) {
  for (const char* tag : {"en-US", "en_US", "EN-us", "en", "en_US.UTF-8", "en-US-x-twang"}) {
    ASSERT_NE(fliteVoiceForLanguage(tag), nullptr) << tag;
    EXPECT_EQ(fliteVoiceForLanguage(tag)->voice.identifier, fliteVoices().front().voice.identifier) << tag;
  }
  for (const char* tag : {"en-GB", "en-AU", "en_GB", "de", "", "e", "eng", "en-USA"}) {
    EXPECT_EQ(fliteVoiceForLanguage(tag), nullptr) << tag;
  }
}

TEST(FliteVoices, EveryVoiceLoadsAndSpeaksAtItsListedRateWordByWord) {
  for (const FliteVoice& voice : fliteVoices()) {
    const Heard heard = synthesize(voice, kSentence);
    EXPECT_TRUE(heard.done) << voice.voice.identifier;
    EXPECT_EQ(heard.sampleRate, voice.sampleRate) << voice.voice.identifier;
    // The diphone voices' own pace says the seven words in 1.8 s; every voice
    // takes at least 2 s, as the recorded speakers do.
    EXPECT_GT(static_cast<double>(heard.samples) / voice.sampleRate, 1.95) << voice.voice.identifier << " speaks too fast";
    EXPECT_LE(heard.largestBlock, static_cast<std::size_t>(voice.sampleRate) / 5) << "blocks of about 50 ms";
    ASSERT_EQ(heard.wordStarts.size(), 7u) << voice.voice.identifier;
    EXPECT_TRUE(std::is_sorted(heard.wordStarts.begin(), heard.wordStarts.end()));
    EXPECT_LT(heard.wordStarts.back(), heard.samples);
    // Flite pads the sentence with pauses of about 0.2 s; they are left out.
    const auto [before, after] = quietEnds(heard.sound, voice.sampleRate);
    EXPECT_LT(before, 0.12) << voice.voice.identifier;
    EXPECT_LT(after, 0.12) << voice.voice.identifier;
    EXPECT_LT(static_cast<double>(heard.wordStarts.front()) / voice.sampleRate, 0.03) << voice.voice.identifier;
  }
}

TEST(FliteEngine, SentencesStreamOneAfterAnotherAndStopWhenTheConsumerSaysSo) {
  const FliteVoice& voice = fliteVoices().front();
  const Heard one = synthesize(voice, kSentence);
  const Heard three = synthesize(voice, kSentence + " " + kSentence + "\n" + kSentence);
  EXPECT_EQ(three.wordStarts.size(), 21u);
  EXPECT_GT(three.wordStarts[7], one.samples / 2) << "the second sentence's words counted from the first sample";
  EXPECT_GT(three.samples, 3 * one.samples) << "with pauses between the sentences";

  for (const FliteVoice& each : fliteVoices()) {
    const Heard aborted = synthesize(each, kSentence + " " + kSentence, 2);
    EXPECT_TRUE(aborted.done);
    EXPECT_EQ(aborted.blocks, 2u) << each.voice.identifier << ": no block after the consumer said stop";
  }
}

TEST(FliteEngine, ATextThatRunsOnIsSpokenInShortSentences) {
  // A sentence is synthesised whole before its first block: the first one of
  // 2,000 characters without a full stop must be short for sound to start soon.
  std::string runOn;
  while (runOn.size() < 1990) runOn += "hold position near the northern gate ";
  const Heard heard = synthesize(fliteVoices().front(), runOn, 3);
  EXPECT_GT(heard.wordsBeforeTheFirstBlock, 10u);
  EXPECT_LE(heard.wordsBeforeTheFirstBlock, 24u);

  std::string clauses;
  for (int i = 0; i < 8; ++i) clauses += "all ships hold position near the northern gate, ";
  EXPECT_EQ(synthesize(fliteVoices().front(), clauses, 3).wordsBeforeTheFirstBlock, 16u) << "cut at a comma";
}

TEST(FliteText, NulsBecomeSpacesAndOverlongWordsAreCutBetweenCharacters) {
  EXPECT_EQ(textForEngine(std::string("Hold\0position", 13)), "Hold position");
  EXPECT_EQ(textForEngine("All ships,\thold\nposition."), "All ships,\thold\nposition.");
  EXPECT_EQ(textForEngine(std::string(70, 'a')), std::string(32, 'a') + " " + std::string(32, 'a') + " aaaaaa");
  // 31 ASCII letters, then a two-byte letter that must not be split.
  const std::string text = std::string(31, 'a') + "\xC3\xA9" + "b";
  EXPECT_EQ(textForEngine(text), std::string(31, 'a') + "\xC3\xA9 b");
  const std::string longWord = "incomprehensibilities";
  EXPECT_EQ(textForEngine(longWord + " " + longWord), longWord + " " + longWord);
}

TEST(FliteEngine, ANulCharacterOrAMissingVoiceLibraryIsNoCrash) {
  const Heard nul = synthesize(fliteVoices().front(), std::string("Hold\0position", 13));
  EXPECT_TRUE(nul.done);
  EXPECT_EQ(nul.wordStarts.size(), 2u) << "the text after a NUL is spoken too";

  FliteVoice missing = fliteVoices().front();
  missing.voice.identifier = "flite/missing";
  missing.library = "libflite_cmu_us_missing.so.1";
  EXPECT_FALSE(synthesize(missing, kSentence).done);
}

// Both engines behind one synthesis, as the program has them. Needs eSpeak
// NG's voice data too.
TEST(BothEngines, VoicesAreFoundByIdentifierAndByLanguageAcrossBoth) {
  PosixMainLoop loop;
  DefaultAudioOutput output;
  EngineSynthesis synthesis(loop, output, {FliteEngine::shared(), EspeakEngine::shared()});
  const auto byIdentifier = [&](const std::string& identifier) {
    const auto found = synthesis.voiceWithIdentifier(identifier);
    return found ? found->identifier : "none";
  };
  const auto byLanguage = [&](const std::string& tag) {
    const auto found = synthesis.voiceWithLanguage(tag);
    return found ? found->identifier : "none";
  };
  EXPECT_EQ(byIdentifier("flite/slt"), "flite/slt");
  EXPECT_EQ(byIdentifier("flite/kal16"), "flite/kal16");
  EXPECT_EQ(byIdentifier("gmw/en-US"), "gmw/en-US");
  EXPECT_EQ(byIdentifier("roa/fr"), "roa/fr");
  EXPECT_EQ(byIdentifier("slt"), "none");
  EXPECT_EQ(byIdentifier("flite/SLT"), "none");
  EXPECT_EQ(byIdentifier("Flite slt (American English, female)"), "none");

  EXPECT_EQ(byLanguage("en-US"), "flite/kal16");
  EXPECT_EQ(byLanguage("en_us"), "flite/kal16");
  EXPECT_EQ(byLanguage("en"), "flite/kal16");
  EXPECT_EQ(byLanguage("en-GB"), "gmw/en");
  EXPECT_EQ(byLanguage("en-AU"), "gmw/en");
  EXPECT_EQ(byLanguage("de-DE"), "gmw/de");
  EXPECT_EQ(byLanguage("tlh-Piqd"), "art/piqd");
  EXPECT_EQ(byLanguage("xx-YY"), "none");

  const std::vector<SpeechVoice> voices = synthesis.speechVoices();
  EXPECT_EQ(voices.size(), fliteVoices().size() + EspeakEngine::shared().voices().size());
  for (const FliteVoice& voice : fliteVoices()) {
    EXPECT_EQ(voice.voice.language, "en-US");
    EXPECT_EQ(voice.voice.name.rfind("Flite ", 0), 0u) << "the name says which engine speaks";
  }
}

}  // namespace
}  // namespace speech_bridge
