// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "bridge/speech_bridge.h"
#include "sim/simulated_platform.h"

namespace speech_bridge {
namespace {

using Lines = std::vector<std::string>;
using Calls = std::vector<std::string>;
using Status = SpeechAuthorizationStatus;

const std::string kReady = R"({"event":"ready","mode":"listen","on_device":true})";
const std::string kNoFinal =
    R"({"event":"error","message":"Recognition did not produce a final result after listening stopped"})";
const std::string kCancelled = R"({"event":"error","message":"Listening cancelled"})";
const std::string kClosed = R"({"event":"error","message":"Listening cancelled: controller input closed"})";

std::string partial(const std::string& text) { return R"({"event":"partial","text":")" + text + R"("})"; }
std::string final(const std::string& text) { return R"({"event":"final","text":")" + text + R"("})"; }

const Calls kAuthorizing = {"recognizerForLocale en-US", "supportsOnDeviceRecognition", "requestAuthorization",
                            "requestMicrophoneAccess"};
const Calls kStarting = {"makeEngine",
                         "makeAudioBufferRequest",
                         "outputFormatForBus 0",
                         "setRequiresOnDeviceRecognition true",
                         "setShouldReportPartialResults true",
                         "setTaskHint 1",
                         "recognitionTask",
                         "installTapOnBus 0 1024",
                         "prepare",
                         "start"};

Calls concat(std::initializer_list<Calls> parts) {
  Calls all;
  for (const Calls& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// Whole --listen jobs on the simulated platform. Permission takes 1 s in all
// (speech 0.4 s, then microphone 0.6 s), so capture starts at 1.0.
class ListenJobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim.recognition.recognizers["en-US"] = true;
    sim.recognition.authorization = sim::AuthorizationAnswer{Status::authorized, 0.4};
    sim.permissions.microphone = sim::MicrophoneAnswer{true, 0.6};
  }

  // Standard input: `bytes` readable `at` seconds after the job starts.
  void hostWrites(double at, const std::string& bytes) { sim.streams.feedInputAt(start + at, bytes); }
  void hostCloses(double at) { sim.streams.closeInputAt(start + at); }
  void script(std::vector<sim::ScriptedAnswer> answers) { sim.recognition.taskScripts.push_back(std::move(answers)); }

  sim::JobOutcome listen() {
    outcome = sim.runJob({"--listen"});
    return outcome;
  }
  double endedAfter() const { return outcome.endedAt - outcome.startedAt; }
  const sim::SimulatedAudioBufferRequest& request() const { return *sim.recognition.audioBufferRequests.at(0); }

  sim::SimulatedPlatform sim;
  const double start = sim.loop.now();
  sim::JobOutcome outcome;
};

TEST_F(ListenJobTest, StopBringsTheFinalTextOfWhatWasCaptured) {
  sim.audioCapture.captureBuffers(50);  // about 1.07 s at 48 kHz
  script({sim::interimAnswer(0.5, "go"), sim::interimAnswer(0.8, "go"), sim::interimAnswer(1.0, "go forward"),
          sim::finalAfterFinish(0.2, "go forward")});
  hostWrites(3.0, "stop\n");
  listen();
  EXPECT_EQ(outcome.lines, (Lines{kReady, partial("go"), partial("go forward"), final("go forward")}));
  EXPECT_EQ(outcome.exitStatus, 0);
  EXPECT_NEAR(endedAfter(), 3.2, 1e-9);
  EXPECT_EQ(sim.calls.calls(),
            concat({kAuthorizing, kStarting,
                    {"stop", "removeTapOnBus 0", "finish"},  // the host's stop: the audio ends here
                    {"stop", "cancel"}}));                   // completion
  EXPECT_EQ(request().buffersAppended(), 50);
  EXPECT_EQ(request().framesAppended(), 50u * 1024u);
  EXPECT_EQ(sim.audioCapture.requestedFormatRate, 48000.0) << "the tap takes the input's own format";
  EXPECT_EQ(sim.audioCapture.requestedFormatChannels, 1u);
}

// A platform with no permission gate answers inside its calls; the job is
// the one a prompt that answers later gives, only sooner.
TEST_F(ListenJobTest, PermissionsAnsweredInsideTheirCallsGiveTheSameJob) {
  sim.recognition.authorization->insideTheCall = true;
  sim.permissions.microphone->insideTheCall = true;
  script({sim::interimAnswer(0.5, "go"), sim::finalAfterFinish(0.2, "go")});
  hostWrites(2.0, "stop\n");
  listen();
  EXPECT_EQ(outcome.lines, (Lines{kReady, partial("go"), final("go")}));
  EXPECT_EQ(sim.calls.calls(), concat({kAuthorizing, kStarting,
                                       {"stop", "removeTapOnBus 0", "finish"}, {"stop", "cancel"}}));
  EXPECT_EQ(sim.recognition.tasks.at(0)->startedAt, start) << "capture starts without waiting";
}

TEST_F(ListenJobTest, CaptureEndsAtTheStop) {
  sim.audioCapture.captureBuffers(200);  // about 4.3 s
  script({sim::finalAfterFinish(0.1, "")});
  hostWrites(3.0, "stop\n");  // 2.0 s after capture started
  listen();
  EXPECT_EQ(outcome.lines, (Lines{kReady, final("")}));
  EXPECT_EQ(request().buffersAppended(), 93) << "buffers of the first 2 s";
  EXPECT_EQ(sim.audioCapture.buffersDropped, 5) << "due between the stop and the final result, not delivered";
  EXPECT_EQ(request().buffersAfterEnd(), 0);
}

// A device that hands over its first buffer 2 s after the start, as an idle
// sound server does: a stop before then ends the request's audio at once on
// nothing heard, and the buffers that come later never reach it.
TEST_F(ListenJobTest, AStopBeforeTheFirstBufferDoesNotWaitForIt) {
  sim.audioCapture.buffers.push_back({2.0, std::vector<float>(1024, 0.25f)});
  sim.audioCapture.captureBuffers(40);
  script({sim::finalAfterFinish(0.01, "")});
  hostWrites(1.3, "stop\n");  // 0.3 s after ready
  listen();
  EXPECT_EQ(outcome.lines, (Lines{kReady, final("")}));
  EXPECT_NEAR(endedAfter(), 1.31, 1e-9);
  sim.loop.runUntil(start + 5.0);
  EXPECT_EQ(request().buffersAppended(), 0);
  EXPECT_EQ(sim.audioCapture.buffersDropped, 41);
}

TEST_F(ListenJobTest, NoSampleRateMeansNoUsableMicrophone) {
  sim.audioCapture.inputFormat = {0.0, 1};
  listen();
  EXPECT_EQ(outcome.lines, Lines{R"({"event":"error","message":"No usable microphone input device"})"});
  EXPECT_EQ(outcome.exitStatus, 1);
  // No task and no tap; the engine stays, so completion stops it.
  EXPECT_EQ(sim.calls.calls(), concat({kAuthorizing,
                                       {"makeEngine", "makeAudioBufferRequest", "outputFormatForBus 0", "stop"}}));
}

TEST_F(ListenJobTest, NoChannelMeansNoUsableMicrophone) {
  sim.audioCapture.inputFormat = {44100.0, 0};
  listen();
  EXPECT_EQ(outcome.lines, Lines{R"({"event":"error","message":"No usable microphone input device"})"});
  EXPECT_EQ(sim.calls.count("recognitionTask"), 0);
}

TEST_F(ListenJobTest, EngineThatCannotStartUndoesTheTapAndTheTask) {
  sim.audioCapture.startError = "Device or resource busy";
  script({});
  listen();
  EXPECT_EQ(outcome.lines,
            Lines{R"({"event":"error","message":"Microphone could not start: Device or resource busy"})"});
  EXPECT_EQ(outcome.exitStatus, 1);
  EXPECT_EQ(sim.calls.calls(), concat({kAuthorizing, kStarting, {"stop", "removeTapOnBus 0", "cancel"}}));
}

TEST_F(ListenJobTest, ListeningStopsItselfTwentySecondsAfterReady) {
  sim.recognition.authorization = sim::AuthorizationAnswer{Status::authorized, 4.0};  // a slow prompt
  script({sim::finalAfterFinish(0.5, "hello")});
  listen();
  EXPECT_EQ(outcome.lines, (Lines{kReady, final("hello")}));
  EXPECT_EQ(outcome.exitStatus, 0);
  EXPECT_NEAR(endedAfter(), 4.6 + 20.0 + 0.5, 1e-9);
}

TEST_F(ListenJobTest, NoFinalResultThreeSecondsAfterTheStopFails) {
  script({sim::interimAnswer(2.0, "hello")});
  listen();
  EXPECT_EQ(outcome.lines, (Lines{kReady, partial("hello"), kNoFinal}));
  EXPECT_EQ(outcome.exitStatus, 1);
  EXPECT_NEAR(endedAfter(), 1.0 + 20.0 + 3.0, 1e-9);
}

TEST_F(ListenJobTest, InterimResultsAfterTheStopStillStream) {
  script({sim::interimAnswer(2.5, "late words"), sim::finalAfterFinish(2.0, "late words")});
  hostWrites(3.0, "stop\n");
  listen();
  EXPECT_EQ(outcome.lines, (Lines{kReady, partial("late words"), final("late words")}));
  EXPECT_NEAR(endedAfter(), 5.0, 1e-9);
}

TEST_F(ListenJobTest, RepeatedStopsAndTheDeadlineAfterThemDoNothing) {
  script({});
  hostWrites(20.0, "stop\n");     // 19 s after ready
  hostWrites(20.5, "stop\n\n");   // again
  listen();                        // and the listening deadline at 21.0
  EXPECT_EQ(outcome.lines, (Lines{kReady, kNoFinal}));
  EXPECT_NEAR(endedAfter(), 23.0, 1e-9) << "3 s after the first stop";
  EXPECT_EQ(sim.calls.count("finish"), 1);
  EXPECT_EQ(sim.calls.count("removeTapOnBus 0"), 1);
}

TEST_F(ListenJobTest, AFinalResultBeforeAnyStopEndsTheJob) {
  script({sim::finalAnswer(2.0, "done early")});
  listen();
  EXPECT_EQ(outcome.lines, (Lines{kReady, final("done early")}));
  EXPECT_NEAR(endedAfter(), 3.0, 1e-9);
  sim.loop.runUntil(start + 40.0);
  EXPECT_EQ(sim.streams.outputLines(), outcome.lines) << "the pending deadlines have no effect";
  EXPECT_EQ(sim.calls.count("finish"), 0);
}

TEST_F(ListenJobTest, RecognitionErrorStopsCapture) {
  script({sim::errorAnswer(1.5, "The decoder ran out of memory")});
  listen();
  EXPECT_EQ(outcome.lines,
            (Lines{kReady, R"({"event":"error","message":"On-device recognition failed: The decoder ran out of memory"})"}));
  EXPECT_EQ(sim.calls.calls(), concat({kAuthorizing, kStarting, {"stop", "removeTapOnBus 0", "cancel"}}));
}

TEST_F(ListenJobTest, StopDuringAuthorizationPreventsCapture) {
  hostWrites(0.2, "stop\n");
  listen();
  EXPECT_EQ(outcome.lines, Lines{kNoFinal});
  EXPECT_NEAR(endedAfter(), 3.2, 1e-9);
  EXPECT_EQ(sim.calls.calls(), kAuthorizing) << "permission is still answered, but nothing is started";
}

TEST_F(ListenJobTest, CancelDuringAuthorizationEndsAtOnce) {
  hostWrites(0.2, "cancel\n");
  listen();
  EXPECT_EQ(outcome.lines, Lines{kCancelled});
  EXPECT_NEAR(endedAfter(), 0.2, 1e-9);
  sim.loop.runUntil(start + 5.0);
  EXPECT_EQ(sim.calls.calls(), (Calls{"recognizerForLocale en-US", "supportsOnDeviceRecognition",
                                      "requestAuthorization"}))
      << "the late permission answer starts nothing";
  EXPECT_EQ(sim.streams.outputLines(), Lines{kCancelled});
}

TEST_F(ListenJobTest, InputAlreadyClosedCancelsBeforeCapture) {
  hostCloses(0.0);
  listen();
  EXPECT_EQ(outcome.lines, Lines{kClosed});
  EXPECT_EQ(sim.calls.count("makeEngine"), 0);
}

TEST_F(ListenJobTest, EndOfInputWhileWaitingForTheFinalResultCancels) {
  script({sim::finalAfterFinish(1.0, "too late")});
  hostWrites(3.0, "stop\n");
  hostCloses(3.5);
  listen();
  EXPECT_EQ(outcome.lines, (Lines{kReady, kClosed}));
  EXPECT_NEAR(endedAfter(), 3.5, 1e-9);
}

}  // namespace
}  // namespace speech_bridge
