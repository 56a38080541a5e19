// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "e2e/pulse_server.h"
#include "e2e/spoken_order_suite.h"
#include "e2e/wav_file.h"

namespace speech_bridge::e2e {
namespace {

using Lines = std::vector<std::string>;
using std::chrono::milliseconds;
using std::chrono::seconds;

const std::string kListening = "Listening. Speak your order, then press Enter.";

// The host program of examples/, with the bridge under test.
std::unique_ptr<RunningProgram> startHost(const Lines& options, const EnvironmentChanges& environment,
                                          const std::string& bridge = programPath()) {
  Lines args = {"-I", "-S", HOST_EXAMPLE_SCRIPT, "--bridge", bridge};
  args.insert(args.end(), options.begin(), options.end());
  return std::make_unique<RunningProgram>(args, environment, std::string{}, PYTHON_EXECUTABLE);
}

// The host program of examples/, run as a user runs it (its standard output
// a pipe, not a terminal) against the real executable and a PulseAudio daemon
// of the suite's own. Python runs without site-packages (-S), so the example
// can only use the standard library. Besides the suite's recording of "go
// forward ten meters", which is no ship order, flite speaks one. Needs flite.
class HostExampleTest : public SpokenOrderSuite {
 protected:
  static void SetUpTestSuite() {
    SpokenOrderSuite::SetUpTestSuite();
    const std::string command = "flite -voice rms -t 'second ship set course north east' -o " + orderWav();
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }
  static std::string orderWav() { return directory + "/order.wav"; }
};

TEST_P(HostExampleTest, ShowsWhatIsSaidStopsOnEnterAndAnswersAloud) {
  const std::string heardFile = directory + "/speaker.wav";
  const pid_t speaker = server->startRecordingSpeaker(heardFile);
  auto host = startHost({}, server->childEnvironment());
  ASSERT_TRUE(host->waitForLines(1, seconds(10)));
  EXPECT_EQ(host->linesSoFar(), Lines{kListening});
  ASSERT_TRUE(server->waitForRecordingStreams(2)) << "the speaker's recorder and the bridge";

  EXPECT_EQ(PulseServer::waitClient(server->startPlayingIntoMicrophone(orderWav())), 0);
  std::this_thread::sleep_for(milliseconds(300));
  const std::size_t shownWhileSpeaking = host->linesSoFar().size() - 1;
  host->writeInput("\n");
  const ProgramResult result = host->wait(seconds(30));
  PulseServer::stopClient(speaker);

  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.standardError, "");
  ASSERT_GE(result.lines.size(), 4u) << result.standardOutput;
  EXPECT_EQ(result.lines.front(), kListening);
  EXPECT_GE(shownWhileSpeaking, 1u) << "interim text is shown before Enter";
  for (std::size_t i = 1; i + 2 < result.lines.size(); ++i) {
    EXPECT_EQ(result.lines[i].rfind("... ", 0), 0u) << result.lines[i];
  }
  EXPECT_EQ(Lines(result.lines.end() - 2, result.lines.end()),
            (Lines{"Heard: second ship set course north east",
                   "Replying: Aye, captain. Second ship, setting course north east."}));
  EXPECT_EQ(result.standardOutput.find('\r'), std::string::npos) << "no terminal rewriting into a pipe";

  const PcmAudio heard = readWav(heardFile);
  EXPECT_GT(heard.audibleSeconds(), 1.0) << "the reply was played on the speaker";
}

// Speech that is no order of the fleet's grammar is not taken for the
// nearest one: the bridge rejects it, and the host asks again aloud (here
// with a voice that does not exist, whose message ends the host).
TEST_P(HostExampleTest, WhatIsNoOrderIsNotUnderstood) {
  auto host = startHost({"--voice", "nobody/none"}, server->childEnvironment());
  ASSERT_TRUE(host->waitForLines(1, seconds(10)));
  ASSERT_TRUE(server->waitForRecordingStreams(1));
  EXPECT_EQ(PulseServer::waitClient(server->startPlayingIntoMicrophone(recordingWav())), 0);
  std::this_thread::sleep_for(milliseconds(300));
  host->writeInput("\n");
  const ProgramResult result = host->wait(seconds(30));
  ASSERT_GE(result.lines.size(), 3u) << result.standardOutput;
  EXPECT_EQ(Lines(result.lines.end() - 2, result.lines.end()),
            (Lines{"Heard no order.", "Replying: Not understood, say again."}));
  EXPECT_EQ(result.standardError, "speech-bridge: Selected speech voice is unavailable\n");
  EXPECT_EQ(result.exitStatus, 1);
}

// Nobody spoke: the final is empty but not rejected, and the host says
// nothing aloud (a voice that does not exist would end it otherwise).
TEST_P(HostExampleTest, EnterAtOnceIsNoOrderAndGetsNoAnswer) {
  auto host = startHost({"--voice", "nobody/none"}, server->childEnvironment());
  host->writeInput("\n");
  const ProgramResult result = host->wait(seconds(30));
  EXPECT_EQ(result.lines, (Lines{kListening, "Heard nothing."}));
  EXPECT_EQ(result.standardError, "");
  EXPECT_EQ(result.exitStatus, 0);
}

TEST_P(HostExampleTest, AnUnsupportedLocaleEndsWithTheBridgesMessage) {
  auto host = startHost({"--locale", "fr-FR"}, server->childEnvironment());
  const ProgramResult result = host->wait(seconds(30));
  EXPECT_EQ(result.standardOutput, "");
  EXPECT_EQ(result.standardError,
            "speech-bridge: On-device speech recognition is unavailable for this locale; "
            "no cloud fallback is allowed\n");
  EXPECT_EQ(result.exitStatus, 1);
}

TEST(HostExampleWithoutSoundServer, NoMicrophoneEndsWithTheBridgesMessage) {
  const ProgramResult result = startHost({}, PulseServer::noServerEnvironment())->wait(seconds(30));
  EXPECT_EQ(result.standardOutput, "");
  EXPECT_EQ(result.standardError, "speech-bridge: No usable microphone input device\n");
  EXPECT_EQ(result.exitStatus, 1);
}

TEST(HostExampleWithoutBridge, AMissingProgramIsNamed) {
  const ProgramResult result = startHost({}, {}, "/nonexistent/speech-bridge")->wait(seconds(30));
  EXPECT_EQ(result.standardOutput, "");
  EXPECT_EQ(result.standardError, "cannot run /nonexistent/speech-bridge: No such file or directory\n");
  EXPECT_EQ(result.exitStatus, 1);
}

INSTANTIATE_TEST_SUITE_P(BothServers, HostExampleTest, kBothSoundServers, soundServerTestName);

}  // namespace
}  // namespace speech_bridge::e2e
