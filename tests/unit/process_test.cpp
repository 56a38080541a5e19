// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/process.h"

#include <gtest/gtest.h>

#include "bridge/speech_bridge.h"
#include "sim/simulated_platform.h"

namespace speech_bridge {
namespace {

const std::string kUsageLine =
    R"({"event":"error","message":"Usage: --listen | --speak | --voices | --transcribe-file PATH [--locale en-US] [--voice ID]"})";

class ProcessTest : public ::testing::Test {
 protected:
  sim::SimulatedPlatform sim;
};

TEST_F(ProcessTest, UsageErrorsEndTheJobWithoutASlice) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {}, {"--LISTEN"}, {"--locale", "en-US", "--listen"}, {"--voice"}, {""}}) {
    sim::SimulatedPlatform fresh;
    const sim::JobOutcome outcome = fresh.runJob(args);
    EXPECT_EQ(outcome.lines, std::vector<std::string>{kUsageLine});
    EXPECT_EQ(outcome.exitStatus, 1);
    EXPECT_EQ(outcome.slices, 0);
  }
}

TEST_F(ProcessTest, TranscribeFileNeedsAPath) {
  const sim::JobOutcome outcome = sim.runJob({"--transcribe-file"});
  EXPECT_EQ(outcome.lines,
            std::vector<std::string>{R"({"event":"error","message":"--transcribe-file requires a local audio path"})"});
  EXPECT_EQ(outcome.exitStatus, 1);
}

TEST_F(ProcessTest, LocaleIsReadWhateverTheMode) {
  Process process(sim.platform);
  runProcess(process, {"--voices", "--locale", "de-DE", "--locale", "fr-FR"});
  EXPECT_EQ(process.locale, "de-DE");

  sim::SimulatedPlatform other;
  Process withoutValue(other.platform);
  runProcess(withoutValue, {"--voices", "--locale"});
  EXPECT_EQ(withoutValue.locale, "en-US");
}

TEST_F(ProcessTest, VoicesFinishesWithTheInventoryInItsOrder) {
  sim.synthesis.voices = {{"z/zu", "Zulu", "zu"}, {"a/af", "Afrikaans / Boer", "af-ZA"}};
  const sim::JobOutcome outcome = sim.runJob({"--voices", "--locale", "de-DE"});
  EXPECT_EQ(outcome.lines, std::vector<std::string>{
                               R"({"event":"final","voices":[{"id":"z\/zu","language":"zu","name":"Zulu"},)"
                               R"({"id":"a\/af","language":"af-ZA","name":"Afrikaans \/ Boer"}]})"});
  EXPECT_EQ(outcome.exitStatus, 0);
  EXPECT_EQ(outcome.slices, 0);
}

TEST_F(ProcessTest, NoVoicesIsAnEmptyList) {
  const sim::JobOutcome outcome = sim.runJob({"--voices"});
  EXPECT_EQ(outcome.lines, std::vector<std::string>{R"({"event":"final","voices":[]})"});
  EXPECT_EQ(outcome.exitStatus, 0);
}

// The wait loop, driven directly with work scheduled on the virtual clock.
class WaitLoopTest : public ProcessTest {
 protected:
  void SetUp() override { process.bridge = std::make_shared<SpeechBridge>(sim.platform); }
  Process process{sim.platform};
};

TEST_F(WaitLoopTest, AJobThatNeverEndsTimesOutAfterNinetySeconds) {
  const double start = sim.loop.now();
  EXPECT_EQ(waitForJob(process), 1);
  EXPECT_EQ(sim.streams.outputLines(),
            std::vector<std::string>{R"({"event":"error","message":"Speech helper timed out"})"});
  EXPECT_GE(sim.loop.now() - start, 90.0);
  EXPECT_LT(sim.loop.now() - start, 90.0 + 0.05 + 1e-9);
  EXPECT_EQ(process.absoluteDeadline, start + 90.0);
}

TEST_F(WaitLoopTest, ACompletionInTheLastSliceKeepsItsStatus) {
  auto bridge = process.bridge;
  sim.loop.postAfter(89.99, [bridge] { bridge->finish("final", {{"text", std::string("late")}}, 0); });
  EXPECT_EQ(waitForJob(process), 0);
  EXPECT_EQ(sim.streams.outputLines(), std::vector<std::string>{R"({"event":"final","text":"late"})"});
}

TEST_F(WaitLoopTest, WorkDueAfterTheDeadlineNeverRuns) {
  bool ran = false;
  sim.loop.postAfter(90.2, [&ran] { ran = true; });
  EXPECT_EQ(waitForJob(process), 1);
  EXPECT_FALSE(ran);
}

TEST_F(WaitLoopTest, TheProcessEndsAsSoonAsTheJobIsDone) {
  auto bridge = process.bridge;
  const double start = sim.loop.now();
  sim.loop.postAfter(2.0, [bridge] { bridge->fail("Listening cancelled"); });
  sim.loop.postAfter(2.01, [bridge] { bridge->emit("partial", {{"text", std::string("after")}}); });
  EXPECT_EQ(waitForJob(process), 1);
  EXPECT_NEAR(sim.loop.now() - start, 2.0, 1e-9);
  EXPECT_EQ(sim.streams.outputLines().size(), 1u);
}

TEST_F(WaitLoopTest, TasksPostedFromOtherThreadsRunInOrder) {
  auto bridge = process.bridge;
  std::vector<int> order;
  std::thread poster([&] {
    for (int i = 0; i < 100; ++i) sim.loop.post([&order, i] { order.push_back(i); });
    sim.loop.post([bridge] { bridge->finish("final", {}, 0); });
  });
  poster.join();
  EXPECT_EQ(waitForJob(process), 0);
  ASSERT_EQ(order.size(), 100u);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(order[i], i);
}

}  // namespace
}  // namespace speech_bridge
