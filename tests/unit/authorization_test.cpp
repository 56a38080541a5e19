// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "bridge/speech_bridge.h"
#include "platform/recognition_service.h"
#include "sim/simulated_platform.h"

namespace speech_bridge {
namespace {

using Calls = std::vector<std::string>;
using Status = SpeechAuthorizationStatus;

constexpr const char* kSpeechKey = "NSSpeechRecognitionUsageDescription";
constexpr const char* kMicrophoneKey = "NSMicrophoneUsageDescription";

std::string errorLine(const std::string& message) {
  return R"({"event":"error","message":")" + message + R"("})";
}

// authorize() driven directly, with the start continuation recorded.
class AuthorizationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim.recognition.recognizers["en-US"] = true;
    sim.recognition.authorization = sim::AuthorizationAnswer{Status::authorized, 1.0};
    sim.permissions.microphone = sim::MicrophoneAnswer{true, 2.0};
  }

  void authorize(const std::string& locale, bool microphone) {
    bridge->authorize(locale, microphone, [this](std::shared_ptr<SpeechRecognizer> recognizer) {
      starts.push_back(sim.loop.now() - began);
      started = std::move(recognizer);
    });
  }

  void runFor(double seconds) { sim.loop.runUntil(sim.loop.now() + seconds); }

  sim::SimulatedPlatform sim;
  std::shared_ptr<SpeechBridge> bridge = std::make_shared<SpeechBridge>(sim.platform);
  const double began = sim.loop.now();
  std::vector<double> starts;  // seconds after the call
  std::shared_ptr<SpeechRecognizer> started;
};

TEST_F(AuthorizationTest, FileJobStartsOnceSpeechPermissionIsGranted) {
  authorize("en-US", false);
  EXPECT_EQ(sim.calls.calls(), (Calls{"recognizerForLocale en-US", "supportsOnDeviceRecognition",
                                      "requestAuthorization"}));
  EXPECT_NE(bridge->recognizer, nullptr) << "kept before any permission is asked";
  EXPECT_TRUE(starts.empty());
  runFor(10);
  EXPECT_EQ(starts, std::vector<double>{1.0});
  EXPECT_EQ(started, bridge->recognizer);
  EXPECT_TRUE(sim.streams.output().empty());
  EXPECT_FALSE(bridge->done);
}

TEST_F(AuthorizationTest, MicrophoneIsAskedOnlyAfterSpeechPermission) {
  authorize("en-US", true);
  runFor(10);
  EXPECT_EQ(sim.calls.calls(), (Calls{"recognizerForLocale en-US", "supportsOnDeviceRecognition",
                                      "requestAuthorization", "requestMicrophoneAccess"}));
  EXPECT_EQ(starts, std::vector<double>{3.0});
  EXPECT_TRUE(sim.streams.output().empty());
}

TEST_F(AuthorizationTest, SpeechDescriptionIsCheckedFirst) {
  sim.infoDictionary.entries.clear();
  authorize("xx-YY", true);
  EXPECT_EQ(sim.streams.outputLines(),
            Calls{errorLine("Speech recognition requires the packaged app's speech usage description")});
  EXPECT_TRUE(sim.calls.calls().empty()) << "no recognizer is created";
  EXPECT_EQ(bridge->exitCode, 1);
}

TEST_F(AuthorizationTest, MicrophoneDescriptionIsNeededOnlyForMicrophoneJobs) {
  sim.infoDictionary.entries.erase(kMicrophoneKey);
  authorize("en-US", true);
  EXPECT_EQ(sim.streams.outputLines(),
            Calls{errorLine("Microphone capture requires the packaged app's microphone usage description")});
  EXPECT_TRUE(sim.calls.calls().empty());

  sim::SimulatedPlatform fileJob;
  fileJob.infoDictionary.entries.erase(kMicrophoneKey);
  fileJob.recognition.recognizers["en-US"] = true;
  fileJob.recognition.authorization = sim::AuthorizationAnswer{Status::authorized, 0.0};
  auto other = std::make_shared<SpeechBridge>(fileJob.platform);
  int startCount = 0;
  other->authorize("en-US", false, [&startCount](std::shared_ptr<SpeechRecognizer>) { ++startCount; });
  fileJob.loop.runUntil(fileJob.loop.now() + 1);
  EXPECT_EQ(startCount, 1);
}

TEST_F(AuthorizationTest, EmptyDescriptionsArePresent) {
  sim.infoDictionary.entries = {{kSpeechKey, ""}, {kMicrophoneKey, ""}};
  authorize("en-US", true);
  runFor(10);
  EXPECT_EQ(starts.size(), 1u);
  EXPECT_TRUE(sim.streams.output().empty());
}

TEST_F(AuthorizationTest, UnknownLocaleFailsBeforeAnyPermissionRequest) {
  authorize("fr-FR", true);
  EXPECT_EQ(sim.streams.outputLines(),
            Calls{errorLine("On-device speech recognition is unavailable for this locale; no cloud fallback is allowed")});
  EXPECT_EQ(sim.calls.calls(), Calls{"recognizerForLocale fr-FR"});
  EXPECT_EQ(bridge->recognizer, nullptr);
}

TEST_F(AuthorizationTest, ServerOnlyRecognizerFailsLikeAnUnknownLocale) {
  sim.recognition.recognizers["de-DE"] = false;
  authorize("de-DE", false);
  EXPECT_EQ(sim.streams.outputLines(),
            Calls{errorLine("On-device speech recognition is unavailable for this locale; no cloud fallback is allowed")});
  EXPECT_EQ(sim.calls.calls(), (Calls{"recognizerForLocale de-DE", "supportsOnDeviceRecognition"}));
  EXPECT_EQ(bridge->recognizer, nullptr);
  runFor(10);
  EXPECT_TRUE(starts.empty());
}

TEST_F(AuthorizationTest, EveryStatusButAuthorizedIsRefusal) {
  for (const Status status : {Status::notDetermined, Status::denied, Status::restricted}) {
    sim::SimulatedPlatform job;
    job.recognition.recognizers["en-US"] = true;
    job.recognition.authorization = sim::AuthorizationAnswer{status, 0.25};
    auto refused = std::make_shared<SpeechBridge>(job.platform);
    bool startCalled = false;
    refused->authorize("en-US", true, [&startCalled](std::shared_ptr<SpeechRecognizer>) { startCalled = true; });
    job.loop.runUntil(job.loop.now() + 5);
    EXPECT_EQ(job.streams.outputLines(), Calls{errorLine("Speech recognition permission was not granted")});
    EXPECT_EQ(job.calls.count("requestMicrophoneAccess"), 0) << "the microphone is never asked for";
    EXPECT_FALSE(startCalled);
    EXPECT_NE(refused->recognizer, nullptr);
  }
}

TEST_F(AuthorizationTest, RefusedMicrophoneKeepsTheRecognizerAndNeverStarts) {
  sim.permissions.microphone = sim::MicrophoneAnswer{false, 0.5};
  authorize("en-US", true);
  runFor(10);
  EXPECT_EQ(sim.streams.outputLines(), Calls{errorLine("Microphone permission was not granted")});
  EXPECT_NE(bridge->recognizer, nullptr);
  EXPECT_TRUE(starts.empty());
}

TEST_F(AuthorizationTest, SpeechAnswerAfterTheJobEndedDoesNothing) {
  sim.recognition.authorization = sim::AuthorizationAnswer{Status::authorized, 5.0};
  authorize("en-US", true);
  sim.loop.postAfter(1.0, [bridge = bridge] { bridge->fail("Listening cancelled"); });
  runFor(20);
  EXPECT_EQ(sim.streams.outputLines(), Calls{errorLine("Listening cancelled")});
  EXPECT_EQ(sim.calls.count("requestMicrophoneAccess"), 0);
  EXPECT_TRUE(starts.empty());
}

TEST_F(AuthorizationTest, MicrophoneAnswerAfterTheJobEndedDoesNothing) {
  authorize("en-US", true);
  sim.loop.postAfter(2.0, [bridge = bridge] { bridge->fail("Listening cancelled"); });
  runFor(20);
  EXPECT_EQ(sim.calls.count("requestMicrophoneAccess"), 1);
  EXPECT_EQ(sim.streams.outputLines(), Calls{errorLine("Listening cancelled")});
  EXPECT_TRUE(starts.empty());
}

TEST_F(AuthorizationTest, UnansweredPermissionLeavesTheJobWaiting) {
  sim.recognition.authorization = sim::AuthorizationAnswer{std::nullopt, 0.0};
  authorize("en-US", false);
  runFor(80);
  EXPECT_TRUE(sim.streams.output().empty());
  EXPECT_TRUE(starts.empty());
  EXPECT_FALSE(bridge->done);
}

TEST_F(AuthorizationTest, SpeechAnswerFindsNothingOnceTheBridgeIsGone) {
  authorize("en-US", false);
  bridge.reset();
  runFor(10);
  EXPECT_TRUE(starts.empty());
  EXPECT_EQ(sim.calls.count("requestAuthorization"), 1);
}

TEST_F(AuthorizationTest, PendingMicrophoneAnswerKeepsTheBridgeAlive) {
  authorize("en-US", true);
  runFor(1.5);  // speech permission granted, microphone asked
  const std::weak_ptr<SpeechBridge> watch = bridge;
  bridge.reset();
  EXPECT_FALSE(watch.expired());
  runFor(10);
  EXPECT_EQ(starts, std::vector<double>{3.0});
}

}  // namespace
}  // namespace speech_bridge
