// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "e2e/pulse_server.h"
#include "e2e/wav_file.h"

namespace speech_bridge::e2e {
namespace {

// The capture engine alone, driven by a helper that reports "name value" lines.
std::map<std::string, std::string> probeCapture(const EnvironmentChanges& environment, double seconds,
                                                std::string* standardError) {
  RunningProgram probe({std::to_string(seconds)}, environment, {}, CAPTURE_PROBE_EXECUTABLE);
  const ProgramResult result = probe.wait(std::chrono::seconds(30));
  *standardError = result.standardError;
  std::map<std::string, std::string> report;
  for (const std::string& line : result.lines) {
    const auto space = line.find(' ');
    report[line.substr(0, space)] = space == std::string::npos ? "" : line.substr(space + 1);
  }
  return report;
}

// Needs pulseaudio and pulseaudio-utils.
class PortAudioCaptureTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server = new PulseServer(); }
  static void TearDownTestSuite() {
    delete server;
    server = nullptr;
  }
  static PulseServer* server;
};

PulseServer* PortAudioCaptureTest::server = nullptr;

TEST_F(PortAudioCaptureTest, DeliversMonoBuffersOf1024FramesFromTheDefaultMicrophone) {
  const std::string tone = std::filesystem::temp_directory_path() / "speech-bridge-capture-tone.wav";
  writeWav(tone, sineWave(440, 3.0, 16000, 1));
  const pid_t player = server->startPlayingIntoMicrophone(tone);
  std::string standardError;
  const auto report = probeCapture(server->childEnvironment(), 1.0, &standardError);
  PulseServer::stopClient(player);
  std::filesystem::remove(tone);

  EXPECT_EQ(report.at("format"), "44100 1") << "the daemon's default rate, and one channel";
  const int buffers = std::stoi(report.at("buffers"));
  EXPECT_GE(buffers, 35) << "1 s at 44.1 kHz is 43 buffers";
  EXPECT_LE(buffers, 50);
  EXPECT_EQ(report.at("other_sizes"), "0");
  EXPECT_EQ(report.at("buffers_after_removal"), "0");
  EXPECT_LT(std::stod(report.at("first_buffer_seconds")), 0.2);
  EXPECT_GT(std::stod(report.at("peak")), 0.1) << "the tone played into the microphone is heard";
  EXPECT_EQ(standardError, "");
}

// With PulseAudio's default null sinks and nothing playing, the default source
// sends its first buffer about 2 s after it wakes; stopping before then must
// not wait for it. It measures real time, so the sanitizer builds leave it
// out.
TEST(PortAudioCaptureOnAnIdleSourceTiming, StopReturnsAtOnceBeforeTheFirstBuffer) {
  const PulseServer idle(PulseServer::NullSinks::defaults);
  idle.wakeMicrophone();
  std::string standardError;
  const auto report = probeCapture(idle.childEnvironment(), 0.3, &standardError);
  EXPECT_EQ(report.at("buffers_at_stop"), "0") << "the source had sent nothing yet";
  EXPECT_LT(std::stod(report.at("stop_seconds")), 0.05);
  EXPECT_EQ(report.at("buffers_after_removal"), "0");
  EXPECT_EQ(standardError, "");
}

TEST(PortAudioCaptureWithoutServer, HasNoUsableInputAndSaysNothing) {
  std::string standardError;
  const auto report = probeCapture(PulseServer::noServerEnvironment(), 1.0, &standardError);
  EXPECT_EQ(report.at("format"), "0 0");
  EXPECT_LT(std::stod(report.at("format_seconds")), 1.0);
  EXPECT_EQ(standardError, "");
}

}  // namespace
}  // namespace speech_bridge::e2e
