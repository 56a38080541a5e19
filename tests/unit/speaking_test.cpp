// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "bridge/speech_bridge.h"
#include "unit/speak_job.h"

namespace speech_bridge {
namespace {

using sim::UtteranceScript;

std::string times(const std::string& piece, int count) {
  std::string result;
  for (int i = 0; i < count; ++i) result += piece;
  return result;
}

class SpeakingTest : public SpeakJobTest {
 protected:
  // Speaks `text` (closed at once) with the synthesizer finishing after a second.
  sim::JobOutcome speak(const std::string& text) {
    hostWrites(text);
    sim.synthesis.scripts = {UtteranceScript::finishesAfter(1.0)};
    return run();
  }

  // A text that must never reach the synthesizer.
  sim::JobOutcome reject(const std::string& text) {
    hostWrites(text);
    return run();
  }
};

TEST_F(SpeakingTest, WhitespaceAndNewlinesOnlyIsEmpty) {
  // Tab, line feed, carriage return, no-break space, line separator, next line, ideographic space.
  const sim::JobOutcome outcome = reject(" \t\n\r\u00A0\u2028\u0085\u3000");
  EXPECT_EQ(outcome.lines, std::vector<std::string>{errorLine("Speech text is empty")});
  EXPECT_EQ(outcome.exitStatus, 1);
  EXPECT_TRUE(sim.synthesis.calls.empty());
}

TEST_F(SpeakingTest, TextIsSpokenAsReceivedWithItsWhitespace) {
  const sim::JobOutcome outcome = speak("  Hold\tposition \n");
  EXPECT_EQ(outcome.lines, (std::vector<std::string>{kReadyLine, kFinalLine}));
  EXPECT_EQ(sim.synthesis.calls.back().description, "speakUtterance(  Hold\tposition \n, gmw/en-US)");
}

TEST_F(SpeakingTest, TwoThousandCharactersAreSpoken) {
  EXPECT_EQ(speak(times("a", 2000)).lines, (std::vector<std::string>{kReadyLine, kFinalLine}));
}

TEST_F(SpeakingTest, ATrailingNewlineCountsAsACharacter) {
  const sim::JobOutcome outcome = reject(times("a", 2000) + "\n");
  EXPECT_EQ(outcome.lines, std::vector<std::string>{errorLine("Speech text exceeded 2000 characters")});
  EXPECT_EQ(outcome.exitStatus, 1);
  EXPECT_TRUE(sim.synthesis.calls.empty());
}

TEST_F(SpeakingTest, CarriageReturnLineFeedIsOneCharacter) {
  EXPECT_EQ(speak(times("a", 1999) + "\r\n").lines, (std::vector<std::string>{kReadyLine, kFinalLine}));
}

TEST_F(SpeakingTest, AnEmojiSequenceIsOneCharacter) {
  const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467";  // 18 bytes, one character
  EXPECT_EQ(speak(times(family, 400)).lines, (std::vector<std::string>{kReadyLine, kFinalLine}));
}

TEST_F(SpeakingTest, ALetterWithCombiningMarksIsOneCharacter) {
  const std::string accented = "e\u0301";  // e and a combining acute accent
  EXPECT_EQ(speak(times(accented, 2000)).lines, (std::vector<std::string>{kReadyLine, kFinalLine}));
}

TEST_F(SpeakingTest, ACombiningMarkBeyondTheLimitStillCountsOnce) {
  const std::string accented = "e\u0301";
  EXPECT_EQ(reject(times(accented, 2000) + "x").lines,
            std::vector<std::string>{errorLine("Speech text exceeded 2000 characters")});
}

TEST_F(SpeakingTest, ACancelledUtteranceFails) {
  hostWrites("Hold position");
  sim.synthesis.scripts = {UtteranceScript::cancelledAfter(0.4)};
  const sim::JobOutcome outcome = run();
  EXPECT_EQ(outcome.lines, (std::vector<std::string>{kReadyLine, errorLine("Speech playback cancelled")}));
  EXPECT_EQ(outcome.exitStatus, 1);
  EXPECT_NEAR(outcome.endedAt, start + 0.5, 1e-9);
}

TEST_F(SpeakingTest, PlaybackStillGoingAfterSixtySecondsIsStoppedAtOnce) {
  hostWrites("Hold position", 2.0);
  sim.synthesis.scripts = {UtteranceScript::neverEnds()};
  const sim::JobOutcome outcome = run();

  EXPECT_EQ(outcome.lines, (std::vector<std::string>{kReadyLine, errorLine("Speech playback exceeded 60 seconds")}));
  EXPECT_EQ(outcome.exitStatus, 1);
  EXPECT_NEAR(outcome.endedAt, start + 62.0, 1e-9) << "counted from the hand-over, not from the start";
  EXPECT_EQ(sim.synthesis.callDescriptions(),
            (std::vector<std::string>{"setDelegate", "speakUtterance(Hold position, gmw/en-US)",
                                      "stopSpeakingAtBoundary(immediate)"}));
  EXPECT_EQ(sim.synthesis.calls[2].linesBefore, 1u) << "stopped before the error is written";

  // The cancel that the stop causes comes later, and is dropped.
  keepRunningUntil(70.0);
  ASSERT_EQ(sim.synthesis.deliveries.size(), 1u);
  EXPECT_EQ(sim.synthesis.deliveries[0].callback, "cancel");
  EXPECT_EQ(sim.synthesis.deliveries[0].linesBefore, 2u);
  EXPECT_EQ(sim.streams.outputLines(),
            (std::vector<std::string>{kReadyLine, errorLine("Speech playback exceeded 60 seconds")}));
  EXPECT_EQ(process.bridge->exitCode, 1);
}

TEST_F(SpeakingTest, FinishingJustBeforeTheDeadlineIsAFinalAndNothingIsStopped) {
  hostWrites("Hold position");
  sim.synthesis.scripts = {UtteranceScript::finishesAfter(59.9)};
  const sim::JobOutcome outcome = run();
  EXPECT_EQ(outcome.lines, (std::vector<std::string>{kReadyLine, kFinalLine}));
  keepRunningUntil(80.0);
  EXPECT_EQ(sim.synthesis.callDescriptions(),
            (std::vector<std::string>{"setDelegate", "speakUtterance(Hold position, gmw/en-US)"}));
  EXPECT_EQ(sim.streams.outputLines().size(), 2u);
}

TEST_F(SpeakingTest, CallbacksAfterTheEndWriteNothing) {
  hostWrites("Hold position");
  sim.synthesis.scripts = {UtteranceScript::finishesAfter(1.0)};
  run();
  SpeechBridge& bridge = *process.bridge;
  const SpeechUtterance utterance{"Hold position", std::nullopt};
  bridge.speechSynthesizerDidCancelSpeechUtterance(*bridge.synthesizer, utterance);
  bridge.speechSynthesizerDidFinishSpeechUtterance(*bridge.synthesizer, utterance);
  EXPECT_EQ(sim.streams.outputLines(), (std::vector<std::string>{kReadyLine, kFinalLine}));
  EXPECT_EQ(bridge.exitCode, 0);
}

TEST_F(SpeakingTest, OnlySpeakPreparesTheSynthesizer) {
  sim::SimulatedPlatform voices;
  voices.runJob({"--voices"});
  EXPECT_TRUE(voices.synthesis.preparations.empty());
  sim::SimulatedPlatform usage;
  usage.runJob({"--bogus"});
  EXPECT_TRUE(usage.synthesis.preparations.empty());
  EXPECT_TRUE(usage.synthesis.calls.empty());
}

}  // namespace
}  // namespace speech_bridge
