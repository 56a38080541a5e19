// SPDX-License-Identifier: GPL-3.0-or-later
// Two engines behind one synthesis, each simulated: which engine hears of
// each voice, each utterance and each stop, in whole --speak jobs.
#include "platform/speech/routed_synthesis.h"

#include <gtest/gtest.h>

#include "app/process.h"
#include "bridge/speech_bridge.h"
#include "sim/simulated_platform.h"
#include "unit/speak_job.h"

namespace speech_bridge {
namespace {

using sim::UtteranceScript;

class RoutedSynthesisTest : public ::testing::Test {
 protected:
  RoutedSynthesisTest() {
    flite.voices = {{"flite/rms", "Flite rms", "en-US"}, {"flite/slt", "Flite slt", "en-US"}};
    espeak.voices = {{"gmw/en-US", "English (America)", "en-US"},
                     {"gmw/de", "German", "de"},
                     {"flite/slt", "an eSpeak NG voice of the same identifier", "en"}};
    const auto lines = [this] { return sim.streams.outputLines().size(); };
    flite.linesWritten = lines;
    espeak.linesWritten = lines;
  }

  // A --speak job of `text`, closed at once.
  sim::JobOutcome speak(std::vector<std::string> args, const std::string& text = "Hold position") {
    sim.streams.feedInputAt(start + 0.1, text);
    sim.streams.closeInputAt(start + 0.1);
    sim::JobOutcome outcome;
    outcome.exitStatus = runProcess(process, std::move(args));
    outcome.endedAt = sim.loop.now();
    outcome.lines = sim.streams.outputLines();
    return outcome;
  }

  // A --speak job of "Hold position" on `other`'s services, with `synthesis`
  // instead of this fixture's engines; its exit status.
  static int speakElsewhere(sim::SimulatedPlatform& other, SpeechSynthesis& synthesis, std::vector<std::string> args) {
    Platform platform{other.loop,        other.streams,     other.files,        other.infoDictionary,
                      other.permissions, other.recognition, other.audioCapture, synthesis};
    Process job{platform};
    other.streams.feedInputAt(0.1, "Hold position");
    other.streams.closeInputAt(0.1);
    return runProcess(job, std::move(args));
  }

  sim::SimulatedPlatform sim;
  const double start = sim.loop.now();
  sim::SimulatedSynthesis flite{sim.loop};
  sim::SimulatedSynthesis espeak{sim.loop};
  RoutedSynthesis routed{{flite, espeak}};
  Platform platform{sim.loop,        sim.streams,     sim.files,        sim.infoDictionary,
                    sim.permissions, sim.recognition, sim.audioCapture, routed};
  Process process{platform};
};

TEST_F(RoutedSynthesisTest, TheFirstEnginesVoicesComeFirstAndShadowTheSecondsOfTheSameIdentifier) {
  std::vector<std::string> listed;
  for (const SpeechVoice& voice : routed.speechVoices()) listed.push_back(voice.identifier + " " + voice.name);
  EXPECT_EQ(listed, (std::vector<std::string>{"flite/rms Flite rms", "flite/slt Flite slt",
                                              "gmw/en-US English (America)", "gmw/de German"}));
  EXPECT_EQ(routed.voiceWithIdentifier("flite/slt")->name, "Flite slt");
  EXPECT_EQ(routed.voiceWithIdentifier("gmw/de")->name, "German");
  EXPECT_EQ(routed.voiceWithIdentifier("rms"), std::nullopt);
  EXPECT_EQ(routed.voiceWithLanguage("en-US")->identifier, "flite/rms");
  EXPECT_EQ(routed.voiceWithLanguage("de")->identifier, "gmw/de");
  EXPECT_EQ(routed.voiceWithLanguage("xx-YY"), std::nullopt);
}

TEST_F(RoutedSynthesisTest, TheLocalesVoiceIsPreparedAndSpokenByItsEngineAlone) {
  flite.scripts = {UtteranceScript::finishesAfter(1.0)};
  const sim::JobOutcome outcome = speak({"--speak"});
  EXPECT_EQ(outcome.lines, (std::vector<std::string>{kReadyLine, kFinalLine}));
  EXPECT_EQ(outcome.exitStatus, 0);
  EXPECT_EQ(flite.preparations, std::vector<std::string>{"flite/rms"});
  EXPECT_EQ(flite.callDescriptions(),
            (std::vector<std::string>{"setDelegate", "speakUtterance(Hold position, flite/rms)"}));
  EXPECT_TRUE(espeak.preparations.empty());
  EXPECT_EQ(espeak.callDescriptions(), std::vector<std::string>{"setDelegate"});
}

TEST_F(RoutedSynthesisTest, ANamedVoiceOfTheSecondEngineAndNoVoiceAtAllGoThere) {
  espeak.scripts = {UtteranceScript::finishesAfter(1.0)};
  EXPECT_EQ(speak({"--speak", "--voice", "gmw/de"}).lines, (std::vector<std::string>{kReadyLine, kFinalLine}));
  EXPECT_EQ(espeak.calls.back().description, "speakUtterance(Hold position, gmw/de)");
  EXPECT_EQ(espeak.preparations, std::vector<std::string>{"gmw/de"});

  sim::SimulatedPlatform other;
  sim::SimulatedSynthesis otherFlite{other.loop}, otherEspeak{other.loop};
  otherFlite.voices = flite.voices;
  RoutedSynthesis nobodysLanguage{{otherFlite, otherEspeak}};
  otherEspeak.scripts = {UtteranceScript::finishesAfter(1.0)};
  EXPECT_EQ(speakElsewhere(other, nobodysLanguage, {"--speak", "--locale", "xx-YY"}), 0);
  EXPECT_EQ(otherEspeak.calls.back().description, "speakUtterance(Hold position, default voice)");
  EXPECT_EQ(otherFlite.callDescriptions(), std::vector<std::string>{"setDelegate"});
}

TEST_F(RoutedSynthesisTest, AMiddleEngineSpeaksItsOwnVoicesAndIsAskedInItsTurn) {
  sim::SimulatedPlatform other;
  sim::SimulatedSynthesis festival{other.loop}, middle{other.loop}, last{other.loop};
  festival.voices = {{"festival/slt", "Festival slt", "en-US"}};
  middle.voices = {{"flite/rms", "Flite rms", "en-US"}, {"festival/slt", "shadowed", "en-US"}, {"x/de", "D", "de"}};
  last.voices = {{"gmw/de", "German", "de"}, {"flite/rms", "shadowed", "en"}};
  RoutedSynthesis three{{festival, middle, last}};
  std::vector<std::string> listed;
  for (const SpeechVoice& voice : three.speechVoices()) listed.push_back(voice.identifier + " " + voice.name);
  EXPECT_EQ(listed, (std::vector<std::string>{"festival/slt Festival slt", "flite/rms Flite rms", "x/de D",
                                              "gmw/de German"}));
  EXPECT_EQ(three.voiceWithLanguage("de")->identifier, "x/de");

  middle.scripts = {UtteranceScript::finishesAfter(1.0)};
  EXPECT_EQ(speakElsewhere(other, three, {"--speak", "--voice", "flite/rms"}), 0);
  EXPECT_EQ(middle.preparations, std::vector<std::string>{"flite/rms"});
  EXPECT_EQ(middle.calls.back().description, "speakUtterance(Hold position, flite/rms)");
  EXPECT_EQ(festival.callDescriptions(), std::vector<std::string>{"setDelegate"});
  EXPECT_EQ(last.callDescriptions(), std::vector<std::string>{"setDelegate"});
}

TEST_F(RoutedSynthesisTest, TheDeadlineStopsTheFirstEnginesUtteranceAndItsLateCancelIsDropped) {
  flite.scripts = {UtteranceScript::neverEnds()};
  const sim::JobOutcome outcome = speak({"--speak", "--voice", "flite/slt"});
  EXPECT_EQ(outcome.lines, (std::vector<std::string>{kReadyLine, errorLine("Speech playback exceeded 60 seconds")}));
  EXPECT_EQ(outcome.exitStatus, 1);
  EXPECT_NEAR(outcome.endedAt, start + 60.1, 1e-9);
  ASSERT_EQ(flite.callDescriptions(),
            (std::vector<std::string>{"setDelegate", "speakUtterance(Hold position, flite/slt)",
                                      "stopSpeakingAtBoundary(immediate)"}));
  EXPECT_EQ(flite.calls[2].linesBefore, 1u) << "stopped before the error is written";

  sim.loop.runUntil(start + 70.0);
  ASSERT_EQ(flite.deliveries.size(), 1u);
  EXPECT_EQ(flite.deliveries[0].callback, "cancel");
  EXPECT_EQ(sim.streams.outputLines().size(), 2u);
  EXPECT_EQ(process.bridge->exitCode, 1);
}

TEST_F(RoutedSynthesisTest, ACancelFromTheFirstEngineEndsTheJob) {
  flite.scripts = {UtteranceScript::cancelledAfter(0.5)};
  const sim::JobOutcome outcome = speak({"--speak"});
  EXPECT_EQ(outcome.lines, (std::vector<std::string>{kReadyLine, errorLine("Speech playback cancelled")}));
  EXPECT_EQ(outcome.exitStatus, 1);
  EXPECT_NEAR(outcome.endedAt, start + 0.6, 1e-9);
}

}  // namespace
}  // namespace speech_bridge
