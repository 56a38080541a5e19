// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "platform/recognition_service.h"
#include "sim/simulated_platform.h"

namespace speech_bridge {
namespace {

using Lines = std::vector<std::string>;
using Status = SpeechAuthorizationStatus;
using sim::errorAnswer;
using sim::finalAnswer;
using sim::interimAnswer;

const std::string kReady = R"({"event":"ready","mode":"transcribe-file","on_device":true})";

std::string partial(const std::string& text) { return R"({"event":"partial","text":")" + text + R"("})"; }
std::string final(const std::string& text) { return R"({"event":"final","text":")" + text + R"("})"; }
std::string error(const std::string& message) { return R"({"event":"error","message":")" + message + R"("})"; }

// `--transcribe-file orders.wav` on a machine where the file exists, en-US is
// recognised on the device and permission is granted 0.5 s after it is asked.
class FileTranscriptionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim.files.existingPaths.insert("/work/orders.wav");
    sim.recognition.recognizers["en-US"] = true;
    sim.recognition.authorization = sim::AuthorizationAnswer{Status::authorized, 0.5};
  }

  sim::JobOutcome transcribe(std::vector<sim::ScriptedAnswer> answers, std::vector<std::string> extra = {}) {
    sim.recognition.taskScripts.push_back(std::move(answers));
    std::vector<std::string> args = {"--transcribe-file", "orders.wav"};
    args.insert(args.end(), extra.begin(), extra.end());
    return sim.runJob(args);
  }

  // Runs the loop on after the job, as if the process lived on.
  Lines linesAfterMore(double seconds) {
    sim.loop.runUntil(sim.loop.now() + seconds);
    return sim.streams.outputLines();
  }

  sim::SimulatedPlatform sim;
};

TEST_F(FileTranscriptionTest, ReadyThenChangedInterimTextsThenFinal) {
  const sim::JobOutcome outcome = transcribe(
      {interimAnswer(1, "go"), interimAnswer(2, "go forward"), finalAnswer(3, "go forward ten meters")});
  EXPECT_EQ(outcome.lines, (Lines{kReady, partial("go"), partial("go forward"), final("go forward ten meters")}));
  EXPECT_EQ(outcome.exitStatus, 0);
  EXPECT_DOUBLE_EQ(outcome.endedAt - outcome.startedAt, 3.5);
  // The relative path is made absolute; the microphone is never involved.
  EXPECT_EQ(sim.calls.calls(),
            (Lines{"recognizerForLocale en-US", "supportsOnDeviceRecognition", "requestAuthorization",
                   "makeUrlRequest /work/orders.wav", "setRequiresOnDeviceRecognition true",
                   "setShouldReportPartialResults true", "setTaskHint 1", "recognitionTask", "cancel"}));
}

TEST_F(FileTranscriptionTest, MissingFileFailsBeforeAnyPermissionIsAsked) {
  const sim::JobOutcome outcome = sim.runJob({"--transcribe-file", "missing.wav"});
  EXPECT_EQ(outcome.lines, Lines{error("Audio fixture does not exist")});
  EXPECT_EQ(outcome.exitStatus, 1);
  EXPECT_EQ(outcome.slices, 0);
  EXPECT_TRUE(sim.calls.calls().empty());
}

TEST_F(FileTranscriptionTest, AbsolutePathIsUsedAsGiven) {
  sim.files.existingPaths.insert("/recordings/a b.flac");
  sim.recognition.taskScripts.push_back({finalAnswer(1, "")});
  const sim::JobOutcome outcome = sim.runJob({"--transcribe-file", "/recordings/a b.flac"});
  EXPECT_EQ(outcome.lines, (Lines{kReady, final("")}));
  EXPECT_EQ(sim.calls.count("makeUrlRequest /recordings/a b.flac"), 1);
}

TEST_F(FileTranscriptionTest, RefusedPermissionEndsBeforeReady) {
  sim.recognition.authorization = sim::AuthorizationAnswer{Status::denied, 0.5};
  const sim::JobOutcome outcome = sim.runJob({"--transcribe-file", "orders.wav"});
  EXPECT_EQ(outcome.lines, Lines{error("Speech recognition permission was not granted")});
  EXPECT_EQ(sim.calls.count("makeUrlRequest /work/orders.wav"), 0);
}

TEST_F(FileTranscriptionTest, UnansweredPermissionEndsAtTheOverallDeadline) {
  sim.recognition.authorization = sim::AuthorizationAnswer{std::nullopt, 0.0};
  const sim::JobOutcome outcome = sim.runJob({"--transcribe-file", "orders.wav"});
  EXPECT_EQ(outcome.lines, Lines{error("Speech helper timed out")});
  EXPECT_NEAR(outcome.endedAt - outcome.startedAt, 90.0, 0.05 + 1e-9);
}

TEST_F(FileTranscriptionTest, DeadlineIsTwentySecondsFromReady) {
  sim.recognition.authorization = sim::AuthorizationAnswer{Status::authorized, 3.0};
  const sim::JobOutcome outcome = transcribe({interimAnswer(19.5, "still going"), finalAnswer(20.5, "too late")});
  EXPECT_EQ(outcome.lines, (Lines{kReady, partial("still going"), error("File transcription exceeded 20 seconds")}));
  EXPECT_EQ(outcome.exitStatus, 1);
  EXPECT_DOUBLE_EQ(outcome.endedAt - outcome.startedAt, 23.0);
  EXPECT_EQ(sim.calls.count("cancel"), 1);
  EXPECT_EQ(linesAfterMore(10), outcome.lines) << "the final answer after the deadline is discarded";
}

TEST_F(FileTranscriptionTest, FinalJustBeforeTheDeadlineWins) {
  const sim::JobOutcome outcome = transcribe({finalAnswer(19.99, "in time")});
  EXPECT_EQ(outcome.lines, (Lines{kReady, final("in time")}));
  EXPECT_EQ(outcome.exitStatus, 0);
  EXPECT_EQ(linesAfterMore(30), outcome.lines) << "the pending deadline has no effect";
}

TEST_F(FileTranscriptionTest, StandardInputIsNeverRead) {
  sim.streams.feedInputAt(sim.loop.now() + 0.1, "stop\ncancel\n");
  sim.streams.closeInputAt(sim.loop.now() + 0.2);
  const sim::JobOutcome outcome = transcribe({finalAnswer(2, "done")});
  EXPECT_EQ(outcome.lines, (Lines{kReady, final("done")}));
  EXPECT_FALSE(sim.streams.readabilityHandlerInstalled());
  EXPECT_TRUE(sim.streams.readSizes().empty());
}

}  // namespace
}  // namespace speech_bridge
