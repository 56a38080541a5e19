#pragma once

#include <gtest/gtest.h>

#include "platform/audio_capture.h"

namespace speech_bridge::sim {

// Stand-ins for services a job must not reach; any call fails the test.
class UnexpectedAudioCapture final : public AudioCapture {
 public:
  std::shared_ptr<AudioEngine> makeEngine() override {
    ADD_FAILURE() << "unexpected makeEngine";
    return nullptr;
  }
};

}  // namespace speech_bridge::sim
