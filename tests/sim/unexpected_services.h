#pragma once

#include <gtest/gtest.h>

#include "platform/audio_capture.h"
#include "platform/permissions.h"
#include "platform/recognition_service.h"

namespace speech_bridge::sim {

// Stand-ins for services a job must not reach; any call fails the test.
class UnexpectedPermissions final : public Permissions {
 public:
  void requestMicrophoneAccess(std::function<void(bool)>) override {
    ADD_FAILURE() << "unexpected requestMicrophoneAccess";
  }
};

class UnexpectedRecognitionService final : public RecognitionService {
 public:
  void requestAuthorization(std::function<void(SpeechAuthorizationStatus)>) override {
    ADD_FAILURE() << "unexpected requestAuthorization";
  }
  std::shared_ptr<SpeechRecognizer> recognizerForLocale(const std::string&) override {
    ADD_FAILURE() << "unexpected recognizerForLocale";
    return nullptr;
  }
  std::shared_ptr<AudioBufferRecognitionRequest> makeAudioBufferRequest() override {
    ADD_FAILURE() << "unexpected makeAudioBufferRequest";
    return nullptr;
  }
  std::shared_ptr<UrlRecognitionRequest> makeUrlRequest(const std::string&) override {
    ADD_FAILURE() << "unexpected makeUrlRequest";
    return nullptr;
  }
};

class UnexpectedAudioCapture final : public AudioCapture {
 public:
  std::shared_ptr<AudioEngine> makeEngine() override {
    ADD_FAILURE() << "unexpected makeEngine";
    return nullptr;
  }
};

}  // namespace speech_bridge::sim
