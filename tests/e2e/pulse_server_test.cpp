// SPDX-License-Identifier: GPL-3.0-or-later
#include "e2e/pulse_server.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "e2e/sound_server_suite.h"
#include "e2e/wav_file.h"

namespace speech_bridge::e2e {
namespace {

// Needs pulseaudio, pulseaudio-utils, pipewire, wireplumber, pipewire-pulse
// and dbus.
class PulseServerTest : public ::testing::TestWithParam<SoundServerKind> {};

TEST_P(PulseServerTest, WhatIsPlayedIntoTheMicrophoneCanBeHeard) {
  const std::string directory =
      std::filesystem::temp_directory_path() /
      ("speech-bridge-server-test-" + soundServerName(GetParam()) + "-" + std::to_string(::getpid()));
  std::filesystem::remove_all(directory);
  std::filesystem::create_directories(directory);
  writeWav(directory + "/tone.wav", sineWave(440, 1.0, 44100, 1));

  std::vector<pid_t> processes;
  {
    PulseServer server(GetParam());
    processes = server.pids();
    const pid_t recorder = server.spawnRecorder("microphone.monitor", directory + "/heard.wav");
    ASSERT_TRUE(server.waitForRecordingStreams(1));
    const pid_t player = server.startPlayingIntoMicrophone(directory + "/tone.wav");
    EXPECT_EQ(PulseServer::waitClient(player), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    PulseServer::stopClient(recorder);

    const PcmAudio heard = readWav(directory + "/heard.wav");
    EXPECT_GT(heard.audibleSeconds(), 0.8);
    EXPECT_LT(heard.audibleSeconds(), 1.2);
  }
  for (const pid_t process : processes) EXPECT_EQ(::kill(process, 0), -1) << "stopped with the server";
  std::filesystem::remove_all(directory);
}

// The microphone delivers in real time, as a real one: a recording that
// starts while something plays hears it from then on. (A null sink that no
// low-latency stream records renders up to 2 s ahead, and a recording started
// after the player would hear nothing of a short sound.)
TEST_P(PulseServerTest, ARecordingStartedAfterThePlayerHearsTheRestOfTheSound) {
  const std::string directory =
      std::filesystem::temp_directory_path() /
      ("speech-bridge-server-onset-" + soundServerName(GetParam()) + "-" + std::to_string(::getpid()));
  std::filesystem::create_directories(directory);
  writeWav(directory + "/tone.wav", sineWave(440, 1.5, 44100, 1));
  PulseServer server(GetParam());
  const pid_t player = server.startPlayingIntoMicrophone(directory + "/tone.wav");
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const pid_t recorder = server.spawnRecorder("microphone.monitor", directory + "/heard.wav");
  EXPECT_EQ(PulseServer::waitClient(player), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  PulseServer::stopClient(recorder);
  EXPECT_GT(readWav(directory + "/heard.wav").audibleSeconds(), 1.0);
  std::filesystem::remove_all(directory);
}

INSTANTIATE_TEST_SUITE_P(BothServers, PulseServerTest, kBothSoundServers, soundServerTestName);

}  // namespace
}  // namespace speech_bridge::e2e
