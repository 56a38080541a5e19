// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "unit/speak_job.h"

namespace speech_bridge {
namespace {

using sim::UtteranceScript;

// Bytes that are valid UTF-8 and only two characters, whatever their length:
// a letter followed by zero-width joiners (three bytes each) is one grapheme.
std::string twoCharactersOfLength(std::size_t bytes) {
  std::string text = "ab";
  while (text.size() + 3 <= bytes) text += "\xE2\x80\x8D";
  EXPECT_EQ(text.size(), bytes) << "pick a length of 2 + 3n bytes";
  return text;
}

std::vector<std::size_t> repeated(std::size_t value, std::size_t times) {
  return std::vector<std::size_t>(times, value);
}

using SpeechInputTest = SpeakJobTest;

TEST_F(SpeechInputTest, ClosedInputIsSpokenWithTheLocalesVoice) {
  hostWrites("Hold position", 0.2);
  sim.synthesis.scripts = {UtteranceScript::finishesAfter(1.5)};
  const sim::JobOutcome outcome = run();

  EXPECT_EQ(outcome.lines, (std::vector<std::string>{kReadyLine, kFinalLine}));
  EXPECT_EQ(outcome.exitStatus, 0);
  EXPECT_NEAR(outcome.endedAt, start + 1.7, 1e-9);
  EXPECT_EQ(sim.synthesis.callDescriptions(),
            (std::vector<std::string>{"setDelegate", "speakUtterance(Hold position, gmw/en-US)"}));
  // The delegate is set before "ready", the utterance handed over after it.
  EXPECT_EQ(sim.synthesis.calls[0].linesBefore, 0u);
  EXPECT_EQ(sim.synthesis.calls[1].linesBefore, 1u);
  EXPECT_EQ(sim.streams.readSizes(), (std::vector<std::size_t>{1024, 1024}));
  EXPECT_EQ(sim.synthesis.preparations, std::vector<std::string>{"gmw/en-US"}) << "the locale's voice";
}

TEST_F(SpeechInputTest, TheNamedVoiceIsPreparedAndAnUnknownOneIsNot) {
  hostWrites("Hold position");
  sim.synthesis.scripts = {UtteranceScript::finishesAfter(1.0)};
  run({"--speak", "--voice", "gmw/de"});
  EXPECT_EQ(sim.synthesis.preparations, std::vector<std::string>{"gmw/de"});

  sim::SimulatedPlatform unknown;
  unknown.streams.feedInputAt(0.1, "Hold position");
  unknown.streams.closeInputAt(0.1);
  unknown.runJob({"--speak", "--voice", "gmw/xx"});
  EXPECT_EQ(unknown.synthesis.preparations, std::vector<std::string>{});
}

TEST_F(SpeechInputTest, ExactlyTheLargestInputIsAccepted) {
  hostWrites(twoCharactersOfLength(8192));
  sim.synthesis.scripts = {UtteranceScript::finishesAfter(1.0)};
  const sim::JobOutcome outcome = run();

  EXPECT_EQ(outcome.lines, (std::vector<std::string>{kReadyLine, kFinalLine}));
  // Eight full reads, then one byte asked for, which meets the end of input.
  std::vector<std::size_t> expected = repeated(1024, 8);
  expected.push_back(1);
  EXPECT_EQ(sim.streams.readSizes(), expected);
}

TEST_F(SpeechInputTest, OneByteTooManyFailsWithoutWaitingForTheEndOfInput) {
  sim.streams.feedInputAt(start + 0.3, std::string(9000, 'a'));  // never closed
  const sim::JobOutcome outcome = run();

  EXPECT_EQ(outcome.lines, std::vector<std::string>{errorLine("Speech input exceeded 8192 bytes")});
  EXPECT_EQ(outcome.exitStatus, 1);
  EXPECT_NEAR(outcome.endedAt, start + 0.3, 1e-9);
  std::vector<std::size_t> expected = repeated(1024, 8);
  expected.push_back(1);
  EXPECT_EQ(sim.streams.readSizes(), expected) << "what lies beyond byte 8193 stays unread";
  EXPECT_TRUE(sim.synthesis.calls.empty());
}

TEST_F(SpeechInputTest, ReadsAskForNoMoreThanOneByteBeyondTheLimit) {
  sim.streams.feedInputAt(start + 0.1, twoCharactersOfLength(8000));
  sim.streams.feedInputAt(start + 0.2, std::string(150, ' '));
  sim.streams.closeInputAt(start + 0.3);
  sim.synthesis.scripts = {UtteranceScript::finishesAfter(1.0)};
  const sim::JobOutcome outcome = run();

  EXPECT_EQ(outcome.lines, (std::vector<std::string>{kReadyLine, kFinalLine}));
  // 8 × 1024 reads bring 7168 + 832 bytes; then 8193 − 8000 and 8193 − 8150.
  std::vector<std::size_t> expected = repeated(1024, 8);
  expected.insert(expected.end(), {193, 43});
  EXPECT_EQ(sim.streams.readSizes(), expected);
}

TEST_F(SpeechInputTest, SizeIsJudgedBeforeEncoding) {
  sim.streams.feedInputAt(start + 0.1, std::string(8193, '\xFF'));
  EXPECT_EQ(run().lines, std::vector<std::string>{errorLine("Speech input exceeded 8192 bytes")});
}

TEST_F(SpeechInputTest, InputThatIsNotUtf8Fails) {
  hostWrites("\xFF");
  const sim::JobOutcome outcome = run();
  EXPECT_EQ(outcome.lines, std::vector<std::string>{errorLine("Speech input must be UTF-8")});
  EXPECT_EQ(outcome.exitStatus, 1);
  EXPECT_TRUE(sim.synthesis.calls.empty());
}

TEST_F(SpeechInputTest, InputClosedAtOnceWithNothingIsAnEmptyText) {
  sim.streams.closeInputAt(start);
  const sim::JobOutcome outcome = run();
  EXPECT_EQ(outcome.lines, std::vector<std::string>{errorLine("Speech text is empty")});
  EXPECT_EQ(sim.streams.readSizes(), std::vector<std::size_t>{1024});
}

TEST_F(SpeechInputTest, InputNotClosedWithinFiveSecondsFails) {
  sim.streams.feedInputAt(start + 0.1, "Hold position");
  const sim::JobOutcome outcome = run();
  EXPECT_EQ(outcome.lines, std::vector<std::string>{errorLine("Speech input was not completed within 5 seconds")});
  EXPECT_EQ(outcome.exitStatus, 1);
  EXPECT_NEAR(outcome.endedAt, start + 5.0, 1e-9);
  EXPECT_TRUE(sim.synthesis.calls.empty());
}

TEST_F(SpeechInputTest, InputCompletedAfterTheDeadlineWritesNothingMore) {
  hostWrites("Hold position", 6.0);
  EXPECT_EQ(run().lines, std::vector<std::string>{errorLine("Speech input was not completed within 5 seconds")});
  keepRunningUntil(10.0);
  EXPECT_EQ(sim.streams.outputLines(),
            std::vector<std::string>{errorLine("Speech input was not completed within 5 seconds")});
  EXPECT_TRUE(sim.synthesis.calls.empty());
  EXPECT_FALSE(process.bridge->speechInputReceived);
}

TEST_F(SpeechInputTest, SpeakingLongerThanTheInputDeadlineIsNotCutShort) {
  hostWrites("Hold position", 4.9);
  sim.synthesis.scripts = {UtteranceScript::finishesAfter(10.0)};
  const sim::JobOutcome outcome = run();
  EXPECT_EQ(outcome.lines, (std::vector<std::string>{kReadyLine, kFinalLine}));
  EXPECT_NEAR(outcome.endedAt, start + 14.9, 1e-9);
}

// A failed read is not the end of the text: what came before it is not
// spoken as if it were all.
TEST_F(SpeechInputTest, AReadErrorLeavesTheInputIncomplete) {
  sim.streams.feedInputAt(start + 0.1, "Hold pos");
  sim.streams.failInputAt(start + 0.2);
  const sim::JobOutcome outcome = run();
  EXPECT_EQ(outcome.lines, std::vector<std::string>{errorLine("Speech input was not completed within 5 seconds")});
  EXPECT_NEAR(outcome.endedAt, start + 5.0, 1e-9);
  EXPECT_EQ(sim.streams.readSizes(), (std::vector<std::size_t>{1024, 1024}));
  EXPECT_TRUE(sim.synthesis.calls.empty());
}

class SpeechVoiceChoiceTest : public SpeakJobTest {
 protected:
  // The utterance the synthesizer was given.
  std::string spokenWith(std::vector<std::string> args) {
    hostWrites("Hold position");
    sim.synthesis.scripts = {UtteranceScript::finishesAfter(1.0)};
    const sim::JobOutcome outcome = run(std::move(args));
    EXPECT_EQ(outcome.lines, (std::vector<std::string>{kReadyLine, kFinalLine}));
    return sim.synthesis.calls.size() == 2 ? sim.synthesis.calls[1].description : "nothing spoken";
  }
};

TEST_F(SpeechVoiceChoiceTest, VoiceNamedOnTheCommandLine) {
  EXPECT_EQ(spokenWith({"--speak", "--locale", "en-US", "--voice", "gmw/de"}), "speakUtterance(Hold position, gmw/de)");
}

TEST_F(SpeechVoiceChoiceTest, VoiceFlagAsTheLastArgumentChoosesByLocale) {
  EXPECT_EQ(spokenWith({"--speak", "--locale", "de-DE", "--voice"}), "speakUtterance(Hold position, gmw/de)");
}

TEST_F(SpeechVoiceChoiceTest, LocaleDefaultsToAmericanEnglish) {
  EXPECT_EQ(spokenWith({"--speak"}), "speakUtterance(Hold position, gmw/en-US)");
}

TEST_F(SpeechVoiceChoiceTest, ALocaleWithoutVoiceSpeaksWithTheDefaultVoice) {
  EXPECT_EQ(spokenWith({"--speak", "--locale", "xx-YY"}), "speakUtterance(Hold position, default voice)");
}

TEST_F(SpeechVoiceChoiceTest, AnUnknownVoiceFailsBeforeReadyAndSpeaksNothing) {
  hostWrites("Hold position");
  const sim::JobOutcome outcome = run({"--speak", "--voice", "gmw/en-us"});
  EXPECT_EQ(outcome.lines, std::vector<std::string>{errorLine("Selected speech voice is unavailable")});
  EXPECT_EQ(outcome.exitStatus, 1);
  EXPECT_TRUE(sim.synthesis.calls.empty()) << "no delegate, no utterance";
}

}  // namespace
}  // namespace speech_bridge
