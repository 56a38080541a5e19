// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>

#include "e2e/pulse_server.h"
#include "e2e/sound_server_suite.h"
#include "e2e/wav_file.h"

namespace speech_bridge::e2e {

// A suite whose tests run on each sound server of their own, with a WAV of
// the spoken order "go forward ten meters" (2.8 s, pocketsphinx-testdata), to
// play into the server's microphone. Needs pulseaudio, pulseaudio-utils,
// pipewire, wireplumber, pipewire-pulse, dbus and the test recordings.
class SpokenOrderSuite : public SoundServerSuite {
 protected:
  static void SetUpTestSuite() {
    std::string suite = ::testing::UnitTest::GetInstance()->current_test_suite()->name();
    std::replace(suite.begin(), suite.end(), '/', '-');
    directory = std::filesystem::temp_directory_path() / ("speech-bridge-" + suite + "-" + std::to_string(::getpid()));
    std::filesystem::create_directories(directory);
    writeWav(recordingWav(), readRaw16kMono(kGoForwardRecording));
  }
  static void TearDownTestSuite() {
    SoundServerSuite::TearDownTestSuite();
    std::filesystem::remove_all(directory);
  }
  static std::string recordingWav() { return directory + "/goforward.wav"; }

  static inline std::string directory;
};

}  // namespace speech_bridge::e2e
