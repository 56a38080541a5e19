// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/pocketsphinx/speech_model.h"
#include "platform/pocketsphinx/word_pronunciations.h"
#include "platform/recognition_service.h"

namespace speech_bridge {

// The recognizer for one installed model. Every model runs on this machine.
// Making one costs nothing: each task loads the model on its own thread.
class PocketsphinxRecognizer final : public SpeechRecognizer {
 public:
  // `readers` as the service's.
  PocketsphinxRecognizer(SpeechModel model, WordReaders readers)
      : model_(std::move(model)), readers_(std::move(readers)) {}

  bool supportsOnDeviceRecognition() const override { return true; }

  // A file request reads its file; a live request decodes what is appended
  // once the task has started, in one pass. A request's grammar file
  // restricts the task to it.
  std::shared_ptr<RecognitionTask> recognitionTask(std::shared_ptr<RecognitionRequest> request,
                                                   RecognitionResultHandler handler) override;

 private:
  const SpeechModel model_;
  const WordReaders readers_;
};

}  // namespace speech_bridge
