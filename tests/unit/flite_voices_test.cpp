// SPDX-License-Identifier: GPL-3.0-or-later
// Flite's voices and engine, for real. Needs libflite1 (the voices' libraries).
#include <gtest/gtest.h>

#include <algorithm>
#include <future>

#include "platform/espeak-ng/espeak_synthesis.h"
#include "platform/flite/flite_engine.h"
#include "platform/flite/flite_synthesis.h"
#include "platform/flite/flite_voices.h"
#include "platform/posix/posix_main_loop.h"
#include "platform/speech/routed_synthesis.h"

namespace speech_bridge {
namespace {

const std::string kSentence = "Hold position near the northern gate.";  // six words

// What one synthesis on the engine thread produced.
struct Heard {
  bool done = false;
  int sampleRate = 0;
  std::size_t blocks = 0, samples = 0, largestBlock = 0;
  std::vector<std::size_t> wordStarts;
};

Heard synthesize(const FliteVoice& voice, const std::string& text, std::size_t blocksWanted = SIZE_MAX) {
  FliteEngine& engine = FliteEngine::shared();
  std::promise<Heard> result;
  engine.submit([&] {
    Heard heard;
    heard.done = engine.synthesize(
        voice, text,
        [&](int sampleRate, const std::int16_t*, std::size_t count) {
          heard.sampleRate = sampleRate;
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
    EXPECT_GT(heard.samples, static_cast<std::size_t>(voice.sampleRate)) << "over a second of speech";
    EXPECT_LE(heard.largestBlock, static_cast<std::size_t>(voice.sampleRate) / 5) << "blocks of about 50 ms";
    ASSERT_EQ(heard.wordStarts.size(), 6u) << voice.voice.identifier;
    EXPECT_TRUE(std::is_sorted(heard.wordStarts.begin(), heard.wordStarts.end()));
    EXPECT_LT(heard.wordStarts.back(), heard.samples);
  }
}

TEST(FliteEngine, SentencesStreamOneAfterAnotherAndStopWhenTheConsumerSaysSo) {
  const FliteVoice& voice = fliteVoices().front();
  const Heard one = synthesize(voice, kSentence);
  const Heard three = synthesize(voice, kSentence + " " + kSentence + "\n" + kSentence);
  EXPECT_EQ(three.wordStarts.size(), 18u);
  EXPECT_GT(three.wordStarts[6], one.samples / 2) << "the second sentence's words counted from the first sample";
  EXPECT_GT(three.samples, 2 * one.samples);

  for (const FliteVoice& each : fliteVoices()) {
    const Heard aborted = synthesize(each, kSentence + " " + kSentence, 2);
    EXPECT_TRUE(aborted.done);
    EXPECT_EQ(aborted.blocks, 2u) << each.voice.identifier << ": no block after the consumer said stop";
  }
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
  FliteSynthesis flite(loop);
  EspeakSynthesis espeak(loop);
  RoutedSynthesis synthesis(flite, espeak);
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

  EXPECT_EQ(byLanguage("en-US"), "flite/rms");
  EXPECT_EQ(byLanguage("en_us"), "flite/rms");
  EXPECT_EQ(byLanguage("en"), "flite/rms");
  EXPECT_EQ(byLanguage("en-GB"), "gmw/en");
  EXPECT_EQ(byLanguage("en-AU"), "gmw/en");
  EXPECT_EQ(byLanguage("de-DE"), "gmw/de");
  EXPECT_EQ(byLanguage("tlh-Piqd"), "art/piqd");
  EXPECT_EQ(byLanguage("xx-YY"), "none");

  const std::vector<SpeechVoice> voices = synthesis.speechVoices();
  EXPECT_EQ(voices.size(), fliteVoices().size() + espeak.speechVoices().size());
  for (const FliteVoice& voice : fliteVoices()) {
    EXPECT_EQ(voice.voice.language, "en-US");
    EXPECT_EQ(voice.voice.name.rfind("Flite ", 0), 0u) << "the name says which engine speaks";
  }
}

}  // namespace
}  // namespace speech_bridge
