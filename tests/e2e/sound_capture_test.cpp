// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "e2e/pulse_server.h"
#include "e2e/sound_server_suite.h"
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

// Needs pulseaudio, pulseaudio-utils, pipewire, wireplumber, pipewire-pulse
// and dbus.
class SoundCaptureTest : public SoundServerSuite {};

TEST_P(SoundCaptureTest, DeliversMonoAudioFromTheDefaultMicrophoneAtOnce) {
  const std::string tone = std::filesystem::temp_directory_path() / "speech-bridge-capture-tone.wav";
  writeWav(tone, sineWave(440, 3.0, 16000, 1));
  const pid_t player = server->startPlayingIntoMicrophone(tone);
  std::string standardError;
  const auto report = probeCapture(server->childEnvironment(), 1.0, &standardError);
  PulseServer::stopClient(player);
  std::filesystem::remove(tone);

  // The null sink's rate (PulseAudio moves between its default and alternate
  // rates as streams come and go), and one channel.
  const double rate = std::stod(report.at("format"));
  EXPECT_TRUE(rate == 44100 || rate == 48000) << report.at("format");
  EXPECT_EQ(report.at("format"), std::to_string(static_cast<int>(rate)) + " 1");
  const long frames = std::stol(report.at("frames"));
  EXPECT_GE(frames, 0.9 * rate) << "about 1 s";
  EXPECT_LE(frames, 1.1 * rate);
  EXPECT_GE(std::stoi(report.at("buffers")), 40) << "in small fragments, not the server's default ones";
  EXPECT_EQ(report.at("other_formats"), "0");
  EXPECT_EQ(report.at("buffers_after_removal"), "0");
  EXPECT_LT(std::stod(report.at("first_buffer_seconds")), 0.2);
  EXPECT_GT(std::stod(report.at("peak")), 0.1) << "the tone played into the microphone is heard";
  EXPECT_EQ(standardError, "");
}

// With PulseAudio's default null sinks and nothing playing, the default source
// sends its first buffer about 2 s after it wakes; stopping before then must
// not wait for it. It measures real time, so the sanitizer builds leave it
// out.
class SoundCaptureTimingTest : public SoundServerSuite {};

TEST(SoundCaptureOnAnIdleSourceTiming, StopReturnsAtOnceBeforeTheFirstBuffer) {
  const PulseServer idle(SoundServerKind::pulseAudio, PulseServer::Rendering::idle);
  idle.wakeMicrophone();
  std::string standardError;
  const auto report = probeCapture(idle.childEnvironment(), 0.3, &standardError);
  EXPECT_EQ(report.at("buffers_at_stop"), "0") << "the source had sent nothing yet";
  EXPECT_LT(std::stod(report.at("stop_seconds")), 0.05);
  EXPECT_EQ(report.at("buffers_after_removal"), "0");
  EXPECT_EQ(standardError, "");
}

TEST(SoundCaptureWithoutServer, HasNoUsableInputAndSaysNothing) {
  std::string standardError;
  const auto report = probeCapture(PulseServer::noServerEnvironment(), 1.0, &standardError);
  EXPECT_EQ(report.at("format"), "0 0");
  EXPECT_EQ(standardError, "");
}

// It measures real time, so the sanitizer builds leave it out.
TEST(SoundCaptureWithoutServerTiming, FindsNoInputPromptly) {
  std::string standardError;
  EXPECT_LT(std::stod(probeCapture(PulseServer::noServerEnvironment(), 1.0, &standardError).at("format_seconds")), 1.0);
}

// Small fragments: the first audio comes within tens of milliseconds of the
// start, not when the server's default buffer is full. It measures real time,
// so the sanitizer builds leave it out.
TEST_P(SoundCaptureTimingTest, TheFirstBufferComesWithinTensOfMilliseconds) {
  std::string standardError;
  const auto report = probeCapture(server->childEnvironment(), 0.3, &standardError);
  EXPECT_LT(std::stod(report.at("first_buffer_seconds")), 0.06);
  EXPECT_EQ(standardError, "");
}

INSTANTIATE_TEST_SUITE_P(BothServers, SoundCaptureTest, kBothSoundServers, soundServerTestName);
INSTANTIATE_TEST_SUITE_P(BothServers, SoundCaptureTimingTest, kBothSoundServers, soundServerTestName);

}  // namespace
}  // namespace speech_bridge::e2e
