// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pocketsphinx/pocketsphinx_recognition_service.h"

#include "platform/pocketsphinx/pocketsphinx_recognizer.h"
#include "platform/pocketsphinx/speech_model.h"

namespace speech_bridge {

void PocketsphinxRecognitionService::requestAuthorization(
    std::function<void(SpeechAuthorizationStatus)> completion) {
  completion(SpeechAuthorizationStatus::authorized);
}

std::shared_ptr<SpeechRecognizer> PocketsphinxRecognitionService::recognizerForLocale(
    const std::string& localeIdentifier) {
  std::optional<SpeechModel> model = installedModelForLocale(localeIdentifier);
  if (!model) return nullptr;
  return std::make_shared<PocketsphinxRecognizer>(std::move(*model), readers_);
}

std::shared_ptr<AudioBufferRecognitionRequest> PocketsphinxRecognitionService::makeAudioBufferRequest() {
  return std::make_shared<AudioBufferRecognitionRequest>();
}

std::shared_ptr<UrlRecognitionRequest> PocketsphinxRecognitionService::makeUrlRequest(const std::string& path) {
  return std::make_shared<UrlRecognitionRequest>(path);
}

}  // namespace speech_bridge
