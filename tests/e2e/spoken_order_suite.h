// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "e2e/pulse_server.h"
#include "e2e/wav_file.h"

namespace speech_bridge::e2e {

// A suite whose tests share one PulseAudio daemon of their own and a WAV of
// the spoken order "go forward ten meters" (2.8 s, pocketsphinx-testdata), to
// play into the daemon's microphone. Needs pulseaudio, pulseaudio-utils and
// the test recordings.
class SpokenOrderSuite : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server = std::make_unique<PulseServer>();
    directory = std::filesystem::temp_directory_path() /
                ("speech-bridge-" + std::string(::testing::UnitTest::GetInstance()->current_test_suite()->name()) +
                 "-" + std::to_string(::getpid()));
    std::filesystem::create_directories(directory);
    writeWav(recordingWav(), readRaw16kMono(kGoForwardRecording));
  }
  static void TearDownTestSuite() {
    server.reset();
    std::filesystem::remove_all(directory);
  }
  static std::string recordingWav() { return directory + "/goforward.wav"; }

  static inline std::unique_ptr<PulseServer> server;
  static inline std::string directory;
};

}  // namespace speech_bridge::e2e
