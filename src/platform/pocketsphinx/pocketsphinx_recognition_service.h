// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/pocketsphinx/word_pronunciations.h"
#include "platform/recognition_service.h"

namespace speech_bridge {

// Speech recognition on this machine with PocketSphinx and the models
// installed here. Linux has no permission gate for it: authorization is
// granted, answered from inside the request.
class PocketsphinxRecognitionService final : public RecognitionService {
 public:
  // `readers` read a grammar's words that no other rule pronounces; they
  // outlive the service and its tasks. Without any, such words fail.
  explicit PocketsphinxRecognitionService(WordReaders readers = {}) : readers_(std::move(readers)) {}

  void requestAuthorization(std::function<void(SpeechAuthorizationStatus)> completion) override;

  // Matches "en-US", "en_US" and "en-us" alike; nullptr without an installed
  // model for the locale.
  std::shared_ptr<SpeechRecognizer> recognizerForLocale(const std::string& localeIdentifier) override;

  std::shared_ptr<AudioBufferRecognitionRequest> makeAudioBufferRequest() override;
  std::shared_ptr<UrlRecognitionRequest> makeUrlRequest(const std::string& path) override;

 private:
  const WordReaders readers_;
};

}  // namespace speech_bridge
