// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>

#include "e2e/pulse_server.h"

namespace speech_bridge::e2e {

// A suite whose tests run once on each sound server (instantiate it with
// kBothSoundServers). The tests of one kind share one server, started by the
// first of them and stopped with the suite.
class SoundServerSuite : public ::testing::TestWithParam<SoundServerKind> {
 protected:
  void SetUp() override {
    std::unique_ptr<PulseServer>& slot = servers_[static_cast<std::size_t>(GetParam())];
    if (!slot) slot = std::make_unique<PulseServer>(GetParam());  // a server that cannot start fails the test
    server = slot.get();
  }
  static void TearDownTestSuite() {
    server = nullptr;
    for (auto& slot : servers_) slot.reset();
  }

  static inline PulseServer* server = nullptr;

 private:
  static inline std::array<std::unique_ptr<PulseServer>, 2> servers_;
};

inline const auto kBothSoundServers = ::testing::Values(SoundServerKind::pulseAudio, SoundServerKind::pipeWire);
inline const auto kPulseAudioOnly = ::testing::Values(SoundServerKind::pulseAudio);

// Names the instances "PulseAudio" and "PipeWire".
inline std::string soundServerTestName(const ::testing::TestParamInfo<SoundServerKind>& info) {
  return soundServerName(info.param);
}

}  // namespace speech_bridge::e2e
