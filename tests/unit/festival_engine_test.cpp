// SPDX-License-Identifier: GPL-3.0-or-later
// Festival's engine, for real, on its own thread. Needs festvox-us-slt-hts.
#include "platform/festival/festival_engine.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <future>

#include "platform/festival/festival_voices.h"

namespace speech_bridge {
namespace {

namespace fs = std::filesystem;

struct Heard {
  bool done = false;
  std::size_t samples = 0, blocks = 0, piecesAsked = 0;
  std::vector<std::size_t> wordStarts;
};

// On the engine thread, as the speaker does it; stops after `blocksWanted`
// blocks or `piecesWanted` pieces.
Heard synthesize(const FestivalVoice& voice, const std::string& text, std::size_t blocksWanted = SIZE_MAX,
                 std::size_t piecesWanted = SIZE_MAX) {
  FestivalEngine& engine = FestivalEngine::shared();
  std::promise<Heard> result;
  engine.submit([&] {
    Heard heard;
    heard.done = engine.synthesize(
        voice, text,
        [&](const std::int16_t*, std::size_t count) {
          heard.samples += count;
          return ++heard.blocks < blocksWanted;
        },
        [&](std::size_t firstSample) { heard.wordStarts.push_back(firstSample); },
        [&] { return heard.piecesAsked++ < piecesWanted; });
    result.set_value(heard);
  });
  return result.get_future().get();
}

int load(const FestivalVoice& voice) {
  FestivalEngine& engine = FestivalEngine::shared();
  std::promise<int> result;
  engine.submit([&] { result.set_value(engine.loadVoice(voice)); });
  return result.get_future().get();
}

const FestivalVoice& hts() {
  const FestivalVoice* voice = festivalVoiceWithIdentifier("festival/cmu_us_slt_arctic_hts");
  if (!voice) throw std::runtime_error("festvox-us-slt-hts is not installed");
  return *voice;
}

TEST(FestivalEngine, TextIsSpokenPieceByPieceWithItsWordsInOrder) {
  ASSERT_EQ(load(hts()), 32000);
  const Heard heard = synthesize(hts(), "All ships, hold position. The fleet will wait near the northern gate.");
  EXPECT_TRUE(heard.done);
  EXPECT_EQ(heard.piecesAsked, 2u);  // a sentence each
  EXPECT_GT(heard.samples, 32000u * 2);
  EXPECT_LT(heard.samples, 32000u * 6);
  ASSERT_EQ(heard.wordStarts.size(), 12u);
  EXPECT_LT(heard.wordStarts.front(), 32000u / 10) << "the pause before the first word is left out";
  EXPECT_TRUE(std::is_sorted(heard.wordStarts.begin(), heard.wordStarts.end()));
  EXPECT_LT(heard.wordStarts.back(), heard.samples);
}

TEST(FestivalEngine, AStopEndsTheSynthesisAsDoneBetweenBlocksOrBeforeAPiece) {
  const std::string text = "Hold position. Fire at will. Return to base.";
  const Heard twoBlocks = synthesize(hts(), text, 2);
  EXPECT_TRUE(twoBlocks.done);
  EXPECT_EQ(twoBlocks.blocks, 2u);
  EXPECT_EQ(twoBlocks.piecesAsked, 1u);
  const Heard onePiece = synthesize(hts(), text, SIZE_MAX, 1);
  EXPECT_TRUE(onePiece.done);
  EXPECT_EQ(onePiece.piecesAsked, 2u);
  EXPECT_GT(onePiece.samples, 0u);
  EXPECT_LT(onePiece.samples, 32000u * 2);
}

TEST(FestivalEngine, TheLargestPiecesOfTheWorstTextsFitTheHeap) {
  // Each of the largest a piece can be: words the lexicon lacks (cut at 32
  // bytes, spelled by letter-to-sound rules), digits, symbols, emoji and
  // scripts without rules, mixed.
  const std::vector<std::string> worst = {
      "xqzvrtplkmnbvcxzlkjhgfdsapoiuytr zorblaxtrifonquexilbratvunmopekas",
      "12345678901234567890123456789012 98765432109876543210987654321098",
      "$%&*@#^~|\\/<>{}[]$%&*@#^~|\\/<>{} +-=_;:!?$%&*@#^~|\\/<>{}[]$%&*@#",
      // Festival makes much of runs of brackets and bars after a word.
      "nort]]]]]]]]]]]]]]]]]]]]]]]]]]]] ]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]] [[[[[[[[[[[[[[[[ ||||||||||||||||",
      "\xF0\x9F\x98\x80\xF0\x9F\x9A\x80\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA9 \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA"
      "\x9E \xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 \xD9\x85\xD8\xB1\xD8\xAD\xD8\xA8\xD8\xA7 3.14e10 1/2/26",
  };
  for (const std::string& kind : worst) {
    std::string piece;
    while (piece.size() < 160) piece += kind + " ";
    const Heard heard = synthesize(hts(), piece + "ok.", SIZE_MAX, 2);
    EXPECT_TRUE(heard.done) << piece;
  }
}

TEST(FestivalEngine, AVoiceWhoseFilesAreDamagedCannotSpeakAndTheOthersStillDo) {
  const fs::path root = fs::temp_directory_path() / ("speech-bridge-damaged-" + std::to_string(::getpid()));
  // (name, what its festvox/<name>.scm holds)
  const std::vector<std::pair<std::string, std::string>> damaged = {
      {"broken_syntax", "(define (voice_broken_syntax) (set! current-voice 'broken_syntax)"},
      {"raises_an_error", "(define (voice_raises_an_error) (car 1))"},
      {"selects_nothing", "(define (voice_selects_nothing) t)"},
      {"no_voice_function", "(set! x 1)"},
      // A statistical voice whose model is missing.
      {"missing_model",
       "(require 'hts) (define (voice_missing_model) (voice_reset) (set! hts_engine_params (list (list \"-m\" "
       "\"/nonexistent.htsvoice\"))) (Parameter.set 'Synth_Method 'HTS) (set! current-voice 'missing_model))"},
  };
  for (const auto& [name, definition] : damaged) {
    fs::create_directories(root / "us" / name / "festvox");
    std::ofstream(root / "us" / name / "festvox" / (name + ".scm")) << definition;
  }
  const std::vector<FestivalVoice> voices = findFestivalVoices(root.string() + "/");
  ASSERT_EQ(voices.size(), damaged.size());
  for (const FestivalVoice& voice : voices) {
    EXPECT_EQ(load(voice), 0) << voice.name;
    EXPECT_FALSE(synthesize(voice, "Hold position.").done) << voice.name;
  }
  fs::remove_all(root);
  EXPECT_TRUE(synthesize(hts(), "Hold position.").done);
}

}  // namespace
}  // namespace speech_bridge
