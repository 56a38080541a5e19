// SPDX-License-Identifier: GPL-3.0-or-later
// The one synthesis adapter over simulated engines and a simulated output
// device, in whole --speak jobs on the virtual clock: which engine hears of
// each voice and each utterance, and what is heard, stopped or lost.
#include "platform/speech/engine_synthesis.h"

#include <gtest/gtest.h>

#include "app/process.h"
#include "bridge/speech_bridge.h"
#include "sim/simulated_audio_output.h"
#include "sim/simulated_platform.h"
#include "sim/simulated_speech_engine.h"
#include "unit/speak_job.h"

namespace speech_bridge {
namespace {

using sim::SimulatedAudioOutput;
using sim::SimulatedSpeechEngine;
using Ending = AudioPlayback::Ending;

// Engines, an output and a synthesis over them, on one simulated platform.
struct SpeakingRig {
  explicit SpeakingRig(const std::vector<std::vector<SpeechVoice>>& inventories)
      : engines(makeEngines(sim.loop, inventories)), synthesis(sim.loop, output, references(engines)) {
    output.linesWritten = [this] { return sim.streams.linesWritten(); };
  }

  static std::vector<std::unique_ptr<SimulatedSpeechEngine>> makeEngines(
      sim::SimulatedMainLoop& loop, const std::vector<std::vector<SpeechVoice>>& inventories) {
    std::vector<std::unique_ptr<SimulatedSpeechEngine>> made;
    for (const auto& inventory : inventories) {
      made.push_back(std::make_unique<SimulatedSpeechEngine>(loop));
      made.back()->inventory = inventory;
    }
    return made;
  }

  static std::vector<std::reference_wrapper<SpeechEngine>> references(
      const std::vector<std::unique_ptr<SimulatedSpeechEngine>>& engines) {
    std::vector<std::reference_wrapper<SpeechEngine>> all;
    for (const auto& engine : engines) all.emplace_back(*engine);
    return all;
  }

  // A --speak job of `text`, its input closed 0.1 s in.
  sim::JobOutcome speak(std::vector<std::string> args, const std::string& text = "Hold position") {
    const double start = sim.loop.now();
    sim.streams.feedInputAt(start + 0.1, text);
    sim.streams.closeInputAt(start + 0.1);
    sim::JobOutcome outcome;
    outcome.startedAt = start;
    outcome.exitStatus = runProcess(process, std::move(args));
    outcome.endedAt = sim.loop.now();
    outcome.lines = sim.streams.outputLines();
    return outcome;
  }

  std::vector<std::string> listed() {
    std::vector<std::string> names;
    for (const SpeechVoice& voice : synthesis.speechVoices()) names.push_back(voice.identifier + " " + voice.name);
    return names;
  }

  sim::SimulatedPlatform sim;
  SimulatedAudioOutput output{sim.loop};
  std::vector<std::unique_ptr<SimulatedSpeechEngine>> engines;
  EngineSynthesis synthesis;
  Platform platform{sim.loop,        sim.streams,     sim.files,        sim.infoDictionary,
                    sim.permissions, sim.recognition, sim.audioCapture, synthesis};
  Process process{platform};
};

const std::vector<SpeechVoice> kFliteVoices = {{"flite/rms", "Flite rms", "en-US"}, {"flite/slt", "Flite slt", "en-US"}};
const std::vector<SpeechVoice> kEspeakVoices = {{"gmw/en-US", "English (America)", "en-US"},
                                                {"gmw/de", "German", "de"},
                                                {"flite/slt", "an eSpeak NG voice of the same identifier", "en"}};

TEST(EngineSynthesis, TheFirstEnginesVoicesComeFirstAndShadowTheSecondsOfTheSameIdentifier) {
  SpeakingRig rig({kFliteVoices, kEspeakVoices});
  EXPECT_EQ(rig.listed(), (std::vector<std::string>{"flite/rms Flite rms", "flite/slt Flite slt",
                                                    "gmw/en-US English (America)", "gmw/de German"}));
  EngineSynthesis& routed = rig.synthesis;
  EXPECT_EQ(routed.voiceWithIdentifier("flite/slt")->name, "Flite slt");
  EXPECT_EQ(routed.voiceWithIdentifier("gmw/de")->name, "German");
  EXPECT_EQ(routed.voiceWithIdentifier("rms"), std::nullopt);
  EXPECT_EQ(routed.voiceWithLanguage("en-US")->identifier, "flite/rms");
  EXPECT_EQ(routed.voiceWithLanguage("de")->identifier, "gmw/de");
  EXPECT_EQ(routed.voiceWithLanguage("xx-YY"), std::nullopt);

  SpeakingRig three({{{"festival/slt", "Festival slt", "en-US"}},
                     {{"flite/rms", "Flite rms", "en-US"}, {"festival/slt", "shadowed", "en-US"}, {"x/de", "D", "de"}},
                     {{"gmw/de", "German", "de"}, {"flite/rms", "shadowed", "en"}}});
  EXPECT_EQ(three.listed(), (std::vector<std::string>{"festival/slt Festival slt", "flite/rms Flite rms", "x/de D",
                                                      "gmw/de German"}));
  EXPECT_EQ(three.synthesis.voiceWithLanguage("de")->identifier, "x/de");
}

// Who prepares and speaks, by the voice the job chose: the engine of that
// voice alone, with that very voice; with none, the last engine's default.
TEST(EngineSynthesis, EachUtteranceIsPreparedAndSpokenByTheEngineOfItsVoiceAlone) {
  struct Case {
    std::vector<std::string> args;
    std::size_t engine;
    std::vector<std::string> calls;
  };
  const std::vector<Case> cases = {
      {{"--speak"}, 0, {"prepare(flite/rms)", "speak(Hold position, flite/rms)"}},
      {{"--speak", "--voice", "gmw/de"}, 1, {"prepare(gmw/de)", "speak(Hold position, gmw/de)"}},
      {{"--speak", "--voice", "flite/slt"}, 0, {"prepare(flite/slt)", "speak(Hold position, flite/slt)"}},
      {{"--speak", "--locale", "xx-YY"}, 1, {"prepare(default voice)", "speak(Hold position, default voice)"}},
  };
  for (const Case& each : cases) {
    SpeakingRig rig({kFliteVoices, kEspeakVoices});
    const sim::JobOutcome outcome = rig.speak(each.args);
    const std::string label = each.args.back();
    EXPECT_EQ(outcome.lines, (std::vector<std::string>{kReadyLine, kFinalLine})) << label;
    EXPECT_EQ(rig.engines[each.engine]->calls(), each.calls) << label;
    EXPECT_TRUE(rig.engines[1 - each.engine]->calls().empty()) << label;
    EXPECT_EQ(rig.output.preparations(), 1) << label;
  }
}

// Two words of 0.5 s, heard from the moment the text is complete: the final
// comes once the last sample has played, not when synthesis ends.
TEST(EngineSynthesis, TheFinalComesWhenTheLastSampleHasBeenHeard) {
  SpeakingRig rig({kFliteVoices});
  const sim::JobOutcome outcome = rig.speak({"--speak"});
  EXPECT_EQ(outcome.lines, (std::vector<std::string>{kReadyLine, kFinalLine}));
  EXPECT_EQ(outcome.exitStatus, 0);
  const auto playbacks = rig.output.playbacks();
  ASSERT_EQ(playbacks.size(), 1u);
  EXPECT_EQ(sim::endingName(playbacks[0].ending), "played");
  EXPECT_EQ(playbacks[0].played, 16000u);
  EXPECT_NEAR(playbacks[0].openedAt, outcome.startedAt + 0.1, 1e-9);
  EXPECT_NEAR(outcome.endedAt, playbacks[0].openedAt + 1.0, 1e-9);
}

// An utterance far longer than the playback deadline: the output is silenced
// before the error is written, and the cancel that follows changes nothing.
TEST(EngineSynthesis, TheDeadlineSilencesTheOutputBeforeTheErrorAndTheLateCancelIsDropped) {
  SpeakingRig rig({kFliteVoices, kEspeakVoices});
  rig.engines[0]->secondsPerWord = 40.0;
  const sim::JobOutcome outcome = rig.speak({"--speak", "--voice", "flite/slt"});
  EXPECT_EQ(outcome.lines, (std::vector<std::string>{kReadyLine, errorLine("Speech playback exceeded 60 seconds")}));
  EXPECT_EQ(outcome.exitStatus, 1);
  EXPECT_NEAR(outcome.endedAt, outcome.startedAt + 60.1, 1e-9);
  rig.sim.loop.runUntil(outcome.startedAt + 70.0);
  const auto playbacks = rig.output.playbacks();
  ASSERT_EQ(playbacks.size(), 1u);
  EXPECT_EQ(sim::endingName(playbacks[0].ending), "stopped");
  EXPECT_NEAR(playbacks[0].endedAt, outcome.startedAt + 60.1, 1e-9);
  EXPECT_EQ(playbacks[0].linesBeforeStop, std::optional<std::size_t>(1)) << "silenced before the error is written";
  EXPECT_LT(playbacks[0].written, 16000u * 66) << "synthesis stopped with the output, a queue ahead at most";
  EXPECT_EQ(rig.sim.streams.outputLines().size(), 2u);
  EXPECT_EQ(rig.process.bridge->exitCode, 1);
}

// Whatever keeps the sound from being heard ends the job as cancelled, at the
// moment it happens.
TEST(EngineSynthesis, NoDeviceAFailingDeviceOrAFailingEngineCancelsTheSpeech) {
  struct Case {
    const char* what;
    std::function<void(SpeakingRig&)> arrange;
    const char* locale;
    double endsAfter;
  };
  const std::vector<Case> cases = {
      {"no device", [](SpeakingRig& rig) { rig.output.hasDevice = false; }, "en-US", 0.1},
      {"device fails", [](SpeakingRig& rig) { rig.output.failsAfterSeconds = 0.5; }, "en-US", 0.6},
      {"engine fails", [](SpeakingRig& rig) { rig.engines[0]->failsAfterWords = 1; }, "en-US", 0.1},
      {"no default voice", [](SpeakingRig& rig) { rig.engines[0]->hasDefaultVoice = false; }, "xx-YY", 0.1},
  };
  for (const Case& each : cases) {
    SpeakingRig rig({kFliteVoices});
    each.arrange(rig);
    const sim::JobOutcome outcome = rig.speak({"--speak", "--locale", each.locale});
    EXPECT_EQ(outcome.lines, (std::vector<std::string>{kReadyLine, errorLine("Speech playback cancelled")}))
        << each.what;
    EXPECT_EQ(outcome.exitStatus, 1) << each.what;
    EXPECT_NEAR(outcome.endedAt, outcome.startedAt + each.endsAfter, 1e-9) << each.what;
  }
}

// The synthesizer on its own: a stop at a word boundary lets the word being
// heard end and silences the rest; one before any sound stops at once.
TEST(EngineSynthesis, AStopAtAWordBoundaryLetsTheWordBeingHeardEnd) {
  struct Ends final : SpeechSynthesizerDelegate {
    void speechSynthesizerDidFinishSpeechUtterance(SpeechSynthesizer&, const SpeechUtterance&) override {
      endings.push_back("finish");
    }
    void speechSynthesizerDidCancelSpeechUtterance(SpeechSynthesizer&, const SpeechUtterance&) override {
      endings.push_back("cancel");
    }
    std::vector<std::string> endings;
  };
  SpeakingRig rig({kFliteVoices});
  const auto delegate = std::make_shared<Ends>();
  std::unique_ptr<SpeechSynthesizer> synthesizer = rig.synthesis.makeSynthesizer();
  synthesizer->setDelegate(delegate);
  auto utterance = std::make_shared<SpeechUtterance>();
  utterance->text = "one two three four";
  utterance->voice = rig.synthesis.voiceWithIdentifier("flite/slt");
  const double start = rig.sim.loop.now();
  synthesizer->speakUtterance(utterance);
  rig.sim.loop.runUntil(start + 0.6);
  synthesizer->stopSpeakingAtBoundary(SpeechBoundary::word);
  rig.sim.loop.runUntil(start + 3.0);
  EXPECT_EQ(delegate->endings, std::vector<std::string>{"cancel"});
  const auto playbacks = rig.output.playbacks();
  ASSERT_EQ(playbacks.size(), 1u);
  EXPECT_EQ(sim::endingName(playbacks[0].ending), "stopped");
  EXPECT_EQ(playbacks[0].played, 16000u) << "heard to the end of the second word";
  EXPECT_EQ(rig.engines[0]->calls(), std::vector<std::string>{"speak(one two three four, flite/slt)"});
}

}  // namespace
}  // namespace speech_bridge
