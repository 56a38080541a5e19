// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "bridge/speech_bridge.h"
#include "platform/recognition_service.h"
#include "sim/simulated_platform.h"

namespace speech_bridge {
namespace {

using Lines = std::vector<std::string>;
using sim::errorAnswer;
using sim::finalAnswer;
using sim::interimAnswer;

std::string partial(const std::string& text) { return R"({"event":"partial","text":")" + text + R"("})"; }
std::string final(const std::string& text) { return R"({"event":"final","text":")" + text + R"("})"; }
std::string error(const std::string& message) { return R"({"event":"error","message":")" + message + R"("})"; }

std::string repeated(const std::string& piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}

const std::string kOverlong = error("Transcript exceeded 2000 characters");

// A task started with recognition() on a fresh bridge; its answers come as
// scripted, each at its second after the start.
class RecognitionResultsTest : public ::testing::Test {
 protected:
  Lines answer(std::vector<sim::ScriptedAnswer> answers) {
    sim.recognition.recognizers["en-US"] = true;
    sim.recognition.taskScripts.push_back(std::move(answers));
    const auto recognizer = sim.recognition.recognizerForLocale("en-US");
    bridge->recognition(recognizer, sim.recognition.makeUrlRequest("/work/orders.wav"));
    sim.loop.runUntil(sim.loop.now() + 60);
    return sim.streams.outputLines();
  }

  sim::SimulatedPlatform sim;
  std::shared_ptr<SpeechBridge> bridge = std::make_shared<SpeechBridge>(sim.platform);
};

TEST_F(RecognitionResultsTest, OptionsAreSetInOrderBeforeTheTaskStarts) {
  answer({});
  EXPECT_EQ(sim.calls.calls(),
            (Lines{"recognizerForLocale en-US", "makeUrlRequest /work/orders.wav", "setRequiresOnDeviceRecognition true",
                   "setShouldReportPartialResults true", "setTaskHint 1", "recognitionTask"}));
  ASSERT_EQ(sim.recognition.tasks.size(), 1u);
  EXPECT_EQ(bridge->task, sim.recognition.tasks[0]);
  EXPECT_EQ(sim.recognition.tasks[0]->request, sim.recognition.urlRequests[0]);
}

TEST_F(RecognitionResultsTest, OnlyARepeatOfTheLastPartialIsSuppressed) {
  EXPECT_EQ(answer({interimAnswer(1, "A"), interimAnswer(2, "A"), interimAnswer(3, "AB"), interimAnswer(4, "A")}),
            (Lines{partial("A"), partial("AB"), partial("A")}));
  EXPECT_EQ(bridge->lastPartial, "A");
  EXPECT_FALSE(bridge->done);
}

TEST_F(RecognitionResultsTest, CanonicallyEquivalentTextIsARepeat) {
  const std::string composed = "caf\xC3\xA9";     // é as one code point
  const std::string decomposed = "cafe\xCC\x81";  // e and a combining acute accent
  EXPECT_EQ(answer({interimAnswer(1, composed), interimAnswer(2, decomposed), interimAnswer(3, "cafe")}),
            (Lines{partial(composed), partial("cafe")}));
}

TEST_F(RecognitionResultsTest, EmptyFirstInterimTextWritesNothing) {
  EXPECT_EQ(answer({interimAnswer(1, ""), interimAnswer(2, "go")}), Lines{partial("go")});
}

TEST_F(RecognitionResultsTest, InterimTextIsPassedOnUntrimmed) {
  EXPECT_EQ(answer({interimAnswer(1, " go "), interimAnswer(2, "go")}), (Lines{partial(" go "), partial("go")}));
}

TEST_F(RecognitionResultsTest, FinalEqualToTheLastPartialIsStillReported) {
  EXPECT_EQ(answer({interimAnswer(1, "go"), finalAnswer(2, "go")}), (Lines{partial("go"), final("go")}));
  EXPECT_TRUE(bridge->done);
  EXPECT_EQ(bridge->exitCode, 0);
}

TEST_F(RecognitionResultsTest, EmptyFinalIsReported) {
  EXPECT_EQ(answer({interimAnswer(1, "go"), finalAnswer(2, "")}), (Lines{partial("go"), final("")}));
}

TEST_F(RecognitionResultsTest, TwoThousandCharactersPassAndOneMoreFails) {
  EXPECT_EQ(answer({interimAnswer(1, repeated("a", 2000)), interimAnswer(2, repeated("a", 2001))}),
            (Lines{partial(repeated("a", 2000)), kOverlong}));
  EXPECT_EQ(bridge->exitCode, 1);
}

TEST_F(RecognitionResultsTest, CharactersAreGraphemeClustersNotCodePoints) {
  // Letters each with a combining accent: 2000 characters are 4000 code
  // points and 6000 bytes, and pass; one more character fails.
  EXPECT_EQ(answer({interimAnswer(1, repeated("e\xCC\x81", 2000)), interimAnswer(2, repeated("e\xCC\x81", 2001))}),
            (Lines{partial(repeated("e\xCC\x81", 2000)), kOverlong}));
}

TEST_F(RecognitionResultsTest, OverlongFinalFailsWithoutAFinalEvent) {
  // Emoji with a skin-tone modifier: one character of 8 bytes each.
  EXPECT_EQ(answer({finalAnswer(1, repeated("\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD", 2001))}), Lines{kOverlong});
  EXPECT_EQ(bridge->exitCode, 1);
}

TEST_F(RecognitionResultsTest, OverlongResultHidesTheErrorOfTheSameAnswer) {
  sim::ScriptedAnswer both = finalAnswer(1, repeated("a", 2001));
  both.error = RecognitionError{"Decoder fell over."};
  EXPECT_EQ(answer({both}), Lines{kOverlong});
}

TEST_F(RecognitionResultsTest, ChangedInterimTextIsWrittenBeforeTheError) {
  sim::ScriptedAnswer both = interimAnswer(1, "go forward");
  both.error = RecognitionError{"The audio ended early."};
  EXPECT_EQ(answer({both}), (Lines{partial("go forward"), error("On-device recognition failed: The audio ended early.")}));
  EXPECT_EQ(bridge->exitCode, 1);
}

TEST_F(RecognitionResultsTest, RepeatedInterimTextWithAnErrorWritesOnlyTheError) {
  sim::ScriptedAnswer both = interimAnswer(2, "go");
  both.error = RecognitionError{"Lost."};
  EXPECT_EQ(answer({interimAnswer(1, "go"), both}), (Lines{partial("go"), error("On-device recognition failed: Lost.")}));
}

TEST_F(RecognitionResultsTest, FinalResultHidesTheErrorOfTheSameAnswer) {
  sim::ScriptedAnswer both = finalAnswer(1, "go forward");
  both.error = RecognitionError{"Ignored."};
  EXPECT_EQ(answer({both}), Lines{final("go forward")});
  EXPECT_EQ(bridge->exitCode, 0);
}

TEST_F(RecognitionResultsTest, AnswerWithNeitherResultNorErrorWritesNothing) {
  EXPECT_EQ(answer({sim::ScriptedAnswer{1, std::nullopt, std::nullopt, false, std::nullopt}, finalAnswer(2, "go")}), Lines{final("go")});
}

TEST_F(RecognitionResultsTest, AnswersAfterCompletionWriteNothing) {
  EXPECT_EQ(answer({errorAnswer(1, "No speech model."), interimAnswer(2, "late"), errorAnswer(3, "Oops."),
                    finalAnswer(4, "late")}),
            Lines{error("On-device recognition failed: No speech model.")});
  EXPECT_EQ(sim.calls.count("cancel"), 1);
}

TEST_F(RecognitionResultsTest, AnswersAfterAnotherCompletionWriteNothing) {
  sim.loop.postAfter(1.5, [bridge = bridge] { bridge->fail("Listening cancelled"); });
  EXPECT_EQ(answer({interimAnswer(1, "go"), interimAnswer(2, "go on"), finalAnswer(3, "go on")}),
            (Lines{partial("go"), error("Listening cancelled")}));
}

TEST_F(RecognitionResultsTest, AnswersFindNothingOnceTheBridgeIsGone) {
  sim.recognition.recognizers["en-US"] = true;
  sim.recognition.taskScripts.push_back({finalAnswer(1, "go")});
  bridge->recognition(sim.recognition.recognizerForLocale("en-US"), sim.recognition.makeUrlRequest("/a.wav"));
  bridge.reset();
  sim.loop.runUntil(sim.loop.now() + 5);
  EXPECT_TRUE(sim.streams.output().empty());
}

struct GrammarFinal {
  bool grammar;  // the job was given --grammar
  RecognitionResult result;
  std::string line;
};

RecognitionResult rejected() {
  RecognitionResult result("", true);
  result.rejected = true;
  return result;
}

RecognitionResult parsed() {
  RecognitionResult result("second ship fire", true);
  result.rules = {{"order", "second ship fire", std::nullopt}, {"ship", "second ship", "2"}};
  return result;
}

// With a grammar, the final says why it is empty and hands over the parse,
// members sorted; without one, nothing of it shows.
TEST_F(RecognitionResultsTest, AGrammarsFinalSaysWhyItIsEmptyAndHandsOverTheParse) {
  const std::vector<GrammarFinal> cases = {
      {true, rejected(), R"({"event":"final","rejected":true,"text":""})"},
      {true, RecognitionResult("", true), final("")},
      {true, parsed(),
       R"({"event":"final","rules":[{"rule":"order","text":"second ship fire"},)"
       R"({"rule":"ship","tag":"2","text":"second ship"}],"text":"second ship fire"})"},
      {false, rejected(), final("")},
      {false, parsed(), final("second ship fire")},
  };
  for (const GrammarFinal& c : cases) {
    sim::SimulatedPlatform fresh;
    fresh.recognition.recognizers["en-US"] = true;
    fresh.recognition.taskScripts.push_back({sim::ScriptedAnswer{1, c.result, std::nullopt, false, std::nullopt}});
    const auto job = std::make_shared<SpeechBridge>(fresh.platform);
    if (c.grammar) job->grammarFile = "/work/orders.gram";
    job->recognition(fresh.recognition.recognizerForLocale("en-US"), fresh.recognition.makeUrlRequest("/work/a.wav"));
    fresh.loop.runUntil(fresh.loop.now() + 60);
    EXPECT_EQ(fresh.streams.outputLines(), Lines{c.line}) << c.line;
  }
}

}  // namespace
}  // namespace speech_bridge
