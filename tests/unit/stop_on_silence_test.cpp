// SPDX-License-Identifier: GPL-3.0-or-later
// --stop-on-silence on the simulated platform: the value it takes, and when
// the silence the speech detector reports stops listening. Permission takes
// 1 s, so capture (and the task's clock) starts 1 s after the job.
#include <gtest/gtest.h>

#include "sim/simulated_platform.h"

namespace speech_bridge {
namespace {

using Lines = std::vector<std::string>;
using Status = SpeechAuthorizationStatus;
using sim::finalAfterFinish;
using sim::interimAnswer;
using sim::sentenceAnswer;
using sim::silenceBegins;
using sim::speechBegins;

const std::string kReady = R"({"event":"ready","mode":"listen","on_device":true})";
const std::string kInvalid = R"({"event":"error","message":"--stop-on-silence requires seconds from 0.2 to 10"})";
constexpr double kCaptureStarts = 1.0;
constexpr double kFinalAfterStop = 0.1;

std::string partial(const std::string& text) { return R"({"event":"partial","text":")" + text + R"("})"; }
std::string final(const std::string& text) { return R"({"event":"final","text":")" + text + R"("})"; }

class StopOnSilenceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim.recognition.recognizers["en-US"] = true;
    sim.recognition.authorization = sim::AuthorizationAnswer{Status::authorized, 0.4};
    sim.permissions.microphone = sim::MicrophoneAnswer{true, 0.6};
  }

  sim::JobOutcome listen(std::vector<sim::ScriptedAnswer> answers, Lines options) {
    answers.push_back(finalAfterFinish(kFinalAfterStop, "the words"));
    sim.recognition.taskScripts.push_back(std::move(answers));
    Lines args{"--listen"};
    args.insert(args.end(), options.begin(), options.end());
    const sim::JobOutcome outcome = sim.runJob(args);
    // When listening stopped, counted from the start of capture.
    stoppedAt = outcome.endedAt - outcome.startedAt - kCaptureStarts - kFinalAfterStop;
    return outcome;
  }
  void hostStops(double afterCaptureStarts) { sim.streams.feedInputAt(start + kCaptureStarts + afterCaptureStarts, "stop\n"); }

  sim::SimulatedPlatform sim;
  const double start = sim.loop.now();
  double stoppedAt = 0.0;
};

// Speech from 0.3 s, silence from 1.0 s: the job stops SECONDS later. Every
// other value is one usage error before anything starts.
TEST_F(StopOnSilenceTest, TakesSecondsFromAFifthToTen) {
  struct Case {
    Lines args;
    double seconds;  // 0: a usage error
  };
  const std::vector<Case> cases = {
      {{"--stop-on-silence", "0.2"}, 0.2},   {{"--stop-on-silence", "0.6"}, 0.6},
      {{"--stop-on-silence", "10"}, 10.0},   {{"--stop-on-silence", "1.50"}, 1.5},
      {{"--stop-on-silence", "0.50"}, 0.5},    {{"--stop-on-silence", "0.19"}, 0},
      {{"--stop-on-silence", "10.01"}, 0},   {{"--stop-on-silence", "0"}, 0},
      {{"--stop-on-silence", "-1"}, 0},      {{"--stop-on-silence", "1e0"}, 0},
      {{"--stop-on-silence", "0.5s"}, 0},    {{"--stop-on-silence", " 1"}, 0},
      {{"--stop-on-silence", "1."}, 0},      {{"--stop-on-silence", "1.2.3"}, 0}, {{"--stop-on-silence", ".5"}, 0},
      {{"--stop-on-silence", "inf"}, 0},     {{"--stop-on-silence", ""}, 0},
      {{"--stop-on-silence", "--locale"}, 0}, {{"--stop-on-silence"}, 0},
  };
  for (const Case& c : cases) {
    const std::string value = c.args.size() > 1 ? c.args[1] : "(none)";
    sim::SimulatedPlatform fresh;
    fresh.recognition.recognizers["en-US"] = true;
    fresh.recognition.authorization = sim::AuthorizationAnswer{Status::authorized, 0.4};
    fresh.permissions.microphone = sim::MicrophoneAnswer{true, 0.6};
    fresh.recognition.taskScripts.push_back(
        {speechBegins(0.3), silenceBegins(1.0), finalAfterFinish(kFinalAfterStop, "go")});
    Lines args{"--listen"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const sim::JobOutcome outcome = fresh.runJob(args);
    if (c.seconds == 0) {
      EXPECT_EQ(outcome.lines, Lines{kInvalid}) << value;
      EXPECT_EQ(outcome.exitStatus, 1) << value;
      EXPECT_TRUE(fresh.calls.calls().empty()) << value;
      continue;
    }
    EXPECT_EQ(outcome.lines, (Lines{kReady, final("go")})) << value;
    EXPECT_EQ(outcome.exitStatus, 0) << value;
    EXPECT_NEAR(outcome.endedAt - outcome.startedAt, kCaptureStarts + 1.0 + c.seconds + kFinalAfterStop, 1e-9)
        << value;
  }
}

// The detector's silence may come late; the wait counts from its start. A
// sentence of the grammar heard after the silence began shortens the wait.
TEST_F(StopOnSilenceTest, AfterAnOrderListeningStopsAsAtTheHostsStop) {
  const sim::JobOutcome outcome =
      listen({speechBegins(0.3), interimAnswer(0.8, "second ship"), silenceBegins(1.4, 0.2),
              sentenceAnswer(1.5, "second ship retreat")},
             {"--grammar", "orders.gram", "--stop-on-silence", "0.6"});
  EXPECT_EQ(outcome.lines, (Lines{kReady, partial("second ship"), partial("second ship retreat"), final("the words")}));
  EXPECT_NEAR(stoppedAt, 1.2 + 0.6, 1e-9);
  EXPECT_EQ(sim.calls.count("finish"), 1);
  EXPECT_EQ(sim.calls.count("removeTapOnBus 0"), 1);
}

// Inside an order, under a grammar, a pause must last twice SECONDS.
const std::vector<sim::ScriptedAnswer> kPausedOrder = {
    speechBegins(0.3), interimAnswer(0.8, "second ship"), silenceBegins(1.0), speechBegins(1.9),
    sentenceAnswer(2.6, "second ship set course north"), silenceBegins(2.8)};

TEST_F(StopOnSilenceTest, APauseInsideAnOrderWaitsTwiceAsLong) {
  listen(kPausedOrder, {"--grammar", "orders.gram", "--stop-on-silence", "0.6"});
  EXPECT_NEAR(stoppedAt, 2.8 + 0.6, 1e-9) << "the 0.9 s pause did not stop it";
}

TEST_F(StopOnSilenceTest, APauseOfTwiceTheSecondsStopsInsideAnOrder) {
  listen({speechBegins(0.3), interimAnswer(0.8, "second ship"), silenceBegins(1.0)},
         {"--grammar", "orders.gram", "--stop-on-silence", "0.6"});
  EXPECT_NEAR(stoppedAt, 1.0 + 1.2, 1e-9);
}

TEST_F(StopOnSilenceTest, WithoutAGrammarAnyWordsAreWhole) {
  listen(kPausedOrder, {"--stop-on-silence", "0.6"});
  EXPECT_NEAR(stoppedAt, 1.0 + 0.6, 1e-9);
}

// Silence before any speech ends nothing: the host's stop does, as without
// the option.
TEST_F(StopOnSilenceTest, NothingSaidWaitsForTheHost) {
  hostStops(8.0);
  const sim::JobOutcome outcome = listen({silenceBegins(0.5, 0.5), silenceBegins(3.0)}, {"--stop-on-silence", "0.5"});
  EXPECT_EQ(outcome.lines, (Lines{kReady, final("the words")}));
  EXPECT_NEAR(stoppedAt, 8.0, 1e-9);
  EXPECT_EQ(sim.calls.count("setSpeechActivityHandler"), 1);
}

TEST_F(StopOnSilenceTest, WithoutTheOptionSilenceStopsNothing) {
  hostStops(8.0);
  const sim::JobOutcome outcome = listen({speechBegins(0.3), silenceBegins(1.0)}, {});
  EXPECT_EQ(outcome.lines, (Lines{kReady, final("the words")}));
  EXPECT_NEAR(stoppedAt, 8.0, 1e-9);
  EXPECT_EQ(sim.calls.count("setSpeechActivityHandler"), 0);
}

}  // namespace
}  // namespace speech_bridge
