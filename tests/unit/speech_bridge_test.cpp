// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/speech_bridge.h"

#include <gtest/gtest.h>

#include "sim/simulated_platform.h"

namespace speech_bridge {
namespace {

class SpeechBridgeTest : public ::testing::Test {
 protected:
  sim::SimulatedPlatform sim;
  std::shared_ptr<SpeechBridge> bridge = std::make_shared<SpeechBridge>(sim.platform);
};

TEST_F(SpeechBridgeTest, StartsWithEveryFieldAtItsInitialValue) {
  EXPECT_FALSE(bridge->done);
  EXPECT_EQ(bridge->exitCode, 0);
  EXPECT_FALSE(bridge->engine || bridge->request || bridge->task || bridge->recognizer);
  EXPECT_NE(bridge->synthesizer, nullptr);
  EXPECT_EQ(sim.synthesis.synthesizersMade, 1);
  EXPECT_FALSE(bridge->tapInstalled || bridge->finishing || bridge->speechInputReceived);
  EXPECT_TRUE(bridge->controls.empty());
  EXPECT_TRUE(bridge->lastPartial.empty());
  EXPECT_TRUE(sim.streams.output().empty());
}

TEST_F(SpeechBridgeTest, OnlyTheFirstCompletionCounts) {
  bridge->finish("final", {{"text", std::string("hello")}}, 0);
  bridge->fail("Speech helper timed out");
  bridge->finish("final", {{"text", std::string("again")}}, 0);
  EXPECT_TRUE(bridge->done);
  EXPECT_EQ(bridge->exitCode, 0);
  EXPECT_EQ(sim.streams.outputLines(), std::vector<std::string>{R"({"event":"final","text":"hello"})"});
}

TEST_F(SpeechBridgeTest, TwoFailuresWriteOnlyTheFirstMessage) {
  bridge->fail("Listening cancelled");
  bridge->fail("Unknown speech control command");
  EXPECT_EQ(bridge->exitCode, 1);
  EXPECT_EQ(sim.streams.outputLines(),
            std::vector<std::string>{R"({"event":"error","message":"Listening cancelled"})"});
}

TEST_F(SpeechBridgeTest, EmitDoesNotTestDone) {
  bridge->fail("Listening cancelled");
  bridge->emit("partial", {{"text", std::string("late")}});
  EXPECT_EQ(sim.streams.outputLines().size(), 2u);
}

TEST_F(SpeechBridgeTest, CompletionDetachesStandardInputInEveryMode) {
  bridge->finish("final", {{"mode", std::string("speak")}}, 0);
  EXPECT_EQ(sim.streams.readabilityClears(), 1);
}

TEST_F(SpeechBridgeTest, StopCaptureWithoutEngineOnlyClearsTheTapFlag) {
  bridge->tapInstalled = true;
  bridge->stopCapture();
  EXPECT_FALSE(bridge->tapInstalled);
  EXPECT_FALSE(bridge->done);
  EXPECT_TRUE(sim.streams.output().empty());
}

TEST_F(SpeechBridgeTest, ALostHostStillGetsTheRecordedStatus) {
  sim.streams.closeOutput();
  bridge->fail("Speech helper timed out");
  EXPECT_TRUE(bridge->done);
  EXPECT_EQ(bridge->exitCode, 1);
}

}  // namespace
}  // namespace speech_bridge
