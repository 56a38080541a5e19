// SPDX-License-Identifier: GPL-3.0-or-later
// --grammar on the simulated platform: where the path goes, and what a job
// shows when the service refuses the grammar.
#include <gtest/gtest.h>

#include "sim/simulated_platform.h"

namespace speech_bridge {
namespace {

using Lines = std::vector<std::string>;
using Status = SpeechAuthorizationStatus;

const std::string kFileReady = R"({"event":"ready","mode":"transcribe-file","on_device":true})";
const std::string kListenReady = R"({"event":"ready","mode":"listen","on_device":true})";
// As the event writer escapes it.
const std::string kRefused =
    "The grammar file \\/work\\/orders.gram has a JSGF syntax error on line 3: expected \\\";\\\" at the end of the "
    "rule, "
    "found \\\"public\\\"";

std::string final(const std::string& text) { return R"({"event":"final","text":")" + text + R"("})"; }
std::string error(const std::string& message) { return R"({"event":"error","message":")" + message + R"("})"; }

class GrammarOptionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim.files.existingPaths.insert("/work/orders.wav");
    sim.recognition.recognizers["en-US"] = true;
    sim.recognition.authorization = sim::AuthorizationAnswer{Status::authorized, 0.5};
    sim.permissions.microphone = sim::MicrophoneAnswer{true, 0.5};
  }

  // The options a request was given, in order.
  Lines requestSettings() const {
    Lines settings;
    for (const std::string& call : sim.calls.calls()) {
      if (call.rfind("set", 0) == 0) settings.push_back(call);
    }
    return settings;
  }

  sim::SimulatedPlatform sim;
};

// The path, made absolute, travels on the request, after the settings every
// request has; the first --grammar counts.
TEST_F(GrammarOptionTest, FileRequestCarriesTheAbsolutePath) {
  sim.recognition.taskScripts.push_back({sim::finalAnswer(1, "second ship retreat")});
  const sim::JobOutcome outcome =
      sim.runJob({"--transcribe-file", "orders.wav", "--grammar", "orders.gram", "--grammar", "/elsewhere/other.gram"});
  EXPECT_EQ(outcome.lines, (Lines{kFileReady, final("second ship retreat")}));
  EXPECT_EQ(outcome.exitStatus, 0);
  EXPECT_EQ(requestSettings(), (Lines{"setRequiresOnDeviceRecognition true", "setShouldReportPartialResults true",
                                      "setTaskHint 1", "setGrammarFile /work/orders.gram"}));
  EXPECT_EQ(sim.recognition.urlRequests.at(0)->grammarFile(), "/work/orders.gram");
}

TEST_F(GrammarOptionTest, LiveRequestCarriesThePathToo) {
  sim.recognition.taskScripts.push_back({sim::finalAfterFinish(0.2, "")});
  sim.streams.feedInputAt(sim.loop.now() + 2.0, "stop\n");
  const sim::JobOutcome outcome = sim.runJob({"--listen", "--grammar", "/games/fleet/orders.gram"});
  EXPECT_EQ(outcome.lines, (Lines{kListenReady, final("")}));
  EXPECT_EQ(sim.calls.count("setGrammarFile /games/fleet/orders.gram"), 1);
  EXPECT_EQ(sim.recognition.audioBufferRequests.at(0)->grammarFile(), "/games/fleet/orders.gram");
}

// The service's verdict on a bad grammar comes as its first answer: one
// error ends the job, and nothing the task says afterwards is written.
TEST_F(GrammarOptionTest, ARefusedGrammarEndsTheJobOnceBeforeAnyPartial) {
  // The service's own sentence, before the event writer escapes it.
  const std::string refusal =
      "The grammar file /work/orders.gram has a JSGF syntax error on line 3: expected \";\" at the end of the rule, "
      "found \"public\"";
  sim.recognition.taskScripts.push_back({sim::errorAnswer(0.3, refusal), sim::interimAnswer(0.4, "second"),
                                         sim::finalAnswer(0.5, "second ship retreat"), sim::errorAnswer(0.6, "late")});
  const sim::JobOutcome outcome = sim.runJob({"--transcribe-file", "orders.wav", "--grammar", "orders.gram"});
  EXPECT_EQ(outcome.lines, (Lines{kFileReady, error("On-device recognition failed: " + kRefused)}));
  EXPECT_EQ(outcome.exitStatus, 1);
  sim.loop.runUntil(sim.loop.now() + 5);
  EXPECT_EQ(sim.streams.outputLines().size(), 2u);
}

TEST_F(GrammarOptionTest, AFlagWithoutPathFailsBeforeAnythingStarts) {
  for (const Lines& args : {Lines{"--listen", "--grammar"}, Lines{"--transcribe-file", "orders.wav", "--grammar"}}) {
    sim::SimulatedPlatform fresh;
    const sim::JobOutcome outcome = fresh.runJob(args);
    EXPECT_EQ(outcome.lines, Lines{error("--grammar requires a grammar file path")}) << args.front();
    EXPECT_EQ(outcome.exitStatus, 1);
    EXPECT_TRUE(fresh.calls.calls().empty());
  }
}

// The host's pronunciations travel, made absolute, after the grammar.
TEST_F(GrammarOptionTest, PronunciationsTravelWithTheGrammar) {
  sim.recognition.taskScripts.push_back({sim::finalAnswer(1, "vandaris retreat")});
  const sim::JobOutcome outcome = sim.runJob(
      {"--transcribe-file", "orders.wav", "--pronunciations", "names.txt", "--grammar", "/games/orders.gram"});
  EXPECT_EQ(outcome.lines, (Lines{kFileReady, final("vandaris retreat")}));
  EXPECT_EQ(requestSettings(),
            (Lines{"setRequiresOnDeviceRecognition true", "setShouldReportPartialResults true", "setTaskHint 1",
                   "setGrammarFile /games/orders.gram", "setPronunciationFile /work/names.txt"}));
  EXPECT_EQ(sim.recognition.urlRequests.at(0)->pronunciationFile(), "/work/names.txt");
}

TEST_F(GrammarOptionTest, PronunciationsWithoutAGrammarOrAPathFailBeforeAnythingStarts) {
  const std::vector<std::pair<Lines, std::string>> cases = {
      {{"--listen", "--pronunciations", "names.txt"}, "--pronunciations requires --grammar"},
      {{"--transcribe-file", "orders.wav", "--pronunciations"}, "--pronunciations requires --grammar"},
      {{"--listen", "--grammar", "orders.gram", "--pronunciations"},
       "--pronunciations requires a pronunciation file path"},
  };
  for (const auto& [args, message] : cases) {
    sim::SimulatedPlatform fresh;
    const sim::JobOutcome outcome = fresh.runJob(args);
    EXPECT_EQ(outcome.lines, Lines{error(message)}) << args.back();
    EXPECT_EQ(outcome.exitStatus, 1);
    EXPECT_TRUE(fresh.calls.calls().empty());
  }
}

// The modes that do not recognise take no notice of it, even without a path.
TEST_F(GrammarOptionTest, OtherModesIgnoreIt) {
  const sim::JobOutcome outcome = sim.runJob({"--voices", "--grammar"});
  EXPECT_EQ(outcome.lines, Lines{R"({"event":"final","voices":[]})"});
  EXPECT_EQ(outcome.exitStatus, 0);
}

}  // namespace
}  // namespace speech_bridge
