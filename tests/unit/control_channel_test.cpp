// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "bridge/speech_bridge.h"
#include "sim/simulated_platform.h"

namespace speech_bridge {
namespace {

using Lines = std::vector<std::string>;

const std::string kClosed = R"({"event":"error","message":"Listening cancelled: controller input closed"})";
const std::string kCancelled = R"({"event":"error","message":"Listening cancelled"})";
const std::string kUnknown = R"({"event":"error","message":"Unknown speech control command"})";
const std::string kOversized = R"({"event":"error","message":"Invalid oversized speech control input"})";
const std::string kNoFinal =
    R"({"event":"error","message":"Recognition did not produce a final result after listening stopped"})";

// The channel alone, on a bridge that has not started capture: "stop" then
// only starts the wait for a final result that never comes.
class ControlChannelTest : public ::testing::Test {
 protected:
  void SetUp() override { start = sim.loop.now(); }

  // Opens the channel with `chunks` readable one after the other, 0.1 s
  // apart, and runs the loop for `seconds`.
  void run(const std::vector<std::string>& chunks, double seconds = 10.0) {
    double at = start;
    for (const std::string& chunk : chunks) sim.streams.feedInputAt(at += 0.1, chunk);
    bridge->listenControls();
    sim.loop.runUntil(start + seconds);
  }

  Lines lines() const { return sim.streams.outputLines(); }

  sim::SimulatedPlatform sim;
  std::shared_ptr<SpeechBridge> bridge = std::make_shared<SpeechBridge>(sim.platform);
  double start = 0.0;
};

TEST_F(ControlChannelTest, StopWithCarriageReturnStartsStopping) {
  run({"stop\r\n"}, 3.05);
  EXPECT_TRUE(bridge->finishing);
  EXPECT_EQ(lines(), Lines{});
  sim.loop.runUntil(start + 3.1);
  EXPECT_EQ(lines(), Lines{kNoFinal});
  EXPECT_EQ(bridge->exitCode, 1);
}

TEST_F(ControlChannelTest, StopWithBlanksAroundItStops) {
  run({"  stop\t\n"}, 1.0);
  EXPECT_TRUE(bridge->finishing);
  EXPECT_FALSE(bridge->done);
}

TEST_F(ControlChannelTest, StopInCapitalsIsUnknown) {
  run({"STOP\n"});
  EXPECT_EQ(lines(), Lines{kUnknown});
  EXPECT_FALSE(bridge->finishing);
}

TEST_F(ControlChannelTest, StopWithAFurtherWordIsUnknown) {
  run({"stop now\n", "stop\n"});
  EXPECT_EQ(lines(), Lines{kUnknown});
  EXPECT_FALSE(bridge->finishing);
}

TEST_F(ControlChannelTest, EmptyAndBlankLinesDoNothing) {
  run({"\n", "   \n\t\r\n", "\xC2\xA0\xE2\x80\x83\n"});
  EXPECT_EQ(lines(), Lines{});
  EXPECT_FALSE(bridge->done || bridge->finishing);
  EXPECT_EQ(bridge->controls, "");
}

TEST_F(ControlChannelTest, ALineSplitAcrossReadsIsActedOnWhenComplete) {
  run({"st", "op", "\n"}, 0.25);
  EXPECT_FALSE(bridge->finishing);
  EXPECT_EQ(bridge->controls, "stop");
  sim.loop.runUntil(start + 0.35);
  EXPECT_TRUE(bridge->finishing);
  EXPECT_EQ(bridge->controls, "");
}

TEST_F(ControlChannelTest, OnlyALineFeedEndsALine) {
  run({"stop\rcancel\r"});
  EXPECT_EQ(lines(), Lines{});
  EXPECT_EQ(bridge->controls, "stop\rcancel\r");
}

TEST_F(ControlChannelTest, StopWithoutLineFeedThenEndOfInputCancels) {
  sim.streams.closeInputAt(start + 0.5);
  run({"stop"});
  EXPECT_EQ(lines(), Lines{kClosed});
  EXPECT_FALSE(bridge->finishing) << "the unterminated line is never executed";
}

TEST_F(ControlChannelTest, StopThenCancelInOneChunkStopsThenCancels) {
  run({"stop\ncancel\n"});
  EXPECT_TRUE(bridge->finishing);
  EXPECT_EQ(lines(), Lines{kCancelled});
  EXPECT_EQ(bridge->exitCode, 1);
}

TEST_F(ControlChannelTest, CancelThenStopInOneChunkOnlyCancels) {
  run({"cancel\nstop\n"});
  EXPECT_FALSE(bridge->finishing);
  EXPECT_EQ(lines(), Lines{kCancelled});
  EXPECT_EQ(bridge->controls, "") << "the lines after the one that ended the job are still consumed";
}

std::string stopLines(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += "stop\n";
  return text;
}

TEST_F(ControlChannelTest, ExactlyTheLimitIsProcessed) {
  const std::string chunk = stopLines(819) + "\n";
  ASSERT_EQ(chunk.size(), 4096u);
  run({chunk}, 1.0);
  EXPECT_TRUE(bridge->finishing);
  EXPECT_FALSE(bridge->done);
}

TEST_F(ControlChannelTest, OneByteOverTheLimitFailsBeforeAnyLineIsActedOn) {
  const std::string chunk = stopLines(819) + "\n\n";
  ASSERT_EQ(chunk.size(), 4097u);
  run({chunk});
  EXPECT_EQ(lines(), Lines{kOversized});
  EXPECT_FALSE(bridge->finishing);
}

TEST_F(ControlChannelTest, TheLimitCountsBytesWaitingFromEarlierReads) {
  run({std::string(4000, 'x'), std::string(96, 'y')}, 1.0);
  EXPECT_FALSE(bridge->done);
  EXPECT_EQ(bridge->controls.size(), 4096u);
  sim.streams.feedInputAt(start + 1.5, "\n");
  sim.loop.runUntil(start + 2.0);
  EXPECT_EQ(lines(), Lines{kOversized}) << "the line feed that would end the line is the 4097th byte";
}

TEST_F(ControlChannelTest, ConsumedLinesFreeTheirRoom) {
  run({stopLines(800), stopLines(800), std::string(4095, ' ') + "\n"}, 1.0);
  EXPECT_FALSE(bridge->done);
  EXPECT_TRUE(bridge->finishing);
}

TEST_F(ControlChannelTest, InvalidUtf8IsUnknown) {
  run({"st\xFFop\n"});
  EXPECT_EQ(lines(), Lines{kUnknown});
}

TEST_F(ControlChannelTest, ATruncatedSequenceAfterStopIsNotTrimmedAway) {
  run({"stop\xE2\x80\n"});
  EXPECT_EQ(lines(), Lines{kUnknown});
}

TEST_F(ControlChannelTest, ASecondStopSchedulesNoSecondDeadline) {
  run({"stop\n", "stop\n"}, 3.15);
  EXPECT_EQ(lines(), Lines{kNoFinal}) << "3 s after the first stop";
  sim.loop.runUntil(start + 10.0);
  EXPECT_EQ(lines(), Lines{kNoFinal});
}

TEST_F(ControlChannelTest, InputAfterTheEndIsIgnored) {
  run({"cancel\n", "bogus\n", std::string(5000, 'x')});
  EXPECT_EQ(lines(), Lines{kCancelled});
  EXPECT_FALSE(sim.streams.readabilityHandlerInstalled());
  EXPECT_EQ(bridge->controls, "");
}

TEST_F(ControlChannelTest, ChunksAlreadyPostedWhenTheJobEndsAreDropped) {
  // Both chunks are read before the main loop handles the first.
  sim.streams.feedInputAt(start + 0.1, "cancel\n");
  sim.streams.feedInputAt(start + 0.1, "bogus");
  bridge->listenControls();
  sim.loop.runUntil(start + 1.0);
  EXPECT_EQ(lines(), Lines{kCancelled});
  EXPECT_EQ(bridge->controls, "") << "the second chunk never reached the buffer";
}

}  // namespace
}  // namespace speech_bridge
