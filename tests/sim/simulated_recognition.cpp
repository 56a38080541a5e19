// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/simulated_recognition.h"

#include <gtest/gtest.h>

#include "sim/platform_answer.h"
#include "sim/simulated_main_loop.h"

namespace speech_bridge::sim {
namespace {

std::string flag(bool value) { return value ? "true" : "false"; }

class SimulatedRecognizer final : public SpeechRecognizer {
 public:
  SimulatedRecognizer(SimulatedRecognitionService& service, bool onDevice, CallLog& calls)
      : service_(service), onDevice_(onDevice), calls_(calls) {}

  bool supportsOnDeviceRecognition() const override {
    calls_.record("supportsOnDeviceRecognition");
    return onDevice_;
  }

  std::shared_ptr<RecognitionTask> recognitionTask(std::shared_ptr<RecognitionRequest> request,
                                                   RecognitionResultHandler handler) override {
    return service_.startTask(std::move(request), std::move(handler));
  }

 private:
  SimulatedRecognitionService& service_;
  const bool onDevice_;
  CallLog& calls_;
};

}  // namespace

ScriptedAnswer interimAnswer(double after, std::string text) {
  return {after, RecognitionResult{std::move(text), false}, std::nullopt, false, std::nullopt};
}

ScriptedAnswer finalAnswer(double after, std::string text) {
  return {after, RecognitionResult{std::move(text), true}, std::nullopt, false, std::nullopt};
}

ScriptedAnswer errorAnswer(double after, std::string description) {
  return {after, std::nullopt, RecognitionError{std::move(description)}, false, std::nullopt};
}

ScriptedAnswer finalAfterFinish(double after, std::string text) {
  return {after, RecognitionResult{std::move(text), true}, std::nullopt, true, std::nullopt};
}

ScriptedAnswer sentenceAnswer(double after, std::string text) {
  ScriptedAnswer answer = interimAnswer(after, std::move(text));
  answer.result->wholeSentence = true;
  return answer;
}

ScriptedAnswer speechBegins(double after) { return {after, std::nullopt, std::nullopt, false, SpeechActivity{true, 0.0}}; }

ScriptedAnswer silenceBegins(double after, double silentFor) {
  return {after, std::nullopt, std::nullopt, false, SpeechActivity{false, silentFor}};
}

void SimulatedAudioBufferRequest::setSpeechActivityHandler(SpeechActivityHandler handler) {
  calls_.record("setSpeechActivityHandler");
  AudioBufferRecognitionRequest::setSpeechActivityHandler(std::move(handler));
}

void SimulatedAudioBufferRequest::setRequiresOnDeviceRecognition(bool value) {
  calls_.record("setRequiresOnDeviceRecognition " + flag(value));
  AudioBufferRecognitionRequest::setRequiresOnDeviceRecognition(value);
}

void SimulatedAudioBufferRequest::setShouldReportPartialResults(bool value) {
  calls_.record("setShouldReportPartialResults " + flag(value));
  AudioBufferRecognitionRequest::setShouldReportPartialResults(value);
}

void SimulatedAudioBufferRequest::setTaskHint(RecognitionTaskHint hint) {
  calls_.record("setTaskHint " + std::to_string(static_cast<int>(hint)));
  AudioBufferRecognitionRequest::setTaskHint(hint);
}

void SimulatedAudioBufferRequest::setGrammarFile(std::string path) {
  calls_.record("setGrammarFile " + path);
  AudioBufferRecognitionRequest::setGrammarFile(std::move(path));
}

void SimulatedAudioBufferRequest::setPronunciationFile(std::string path) {
  calls_.record("setPronunciationFile " + path);
  AudioBufferRecognitionRequest::setPronunciationFile(std::move(path));
}

void SimulatedAudioBufferRequest::appendAudioPcmBuffer(const AudioPcmBuffer& buffer) {
  std::lock_guard lock(mutex_);
  if (ended_) {
    ++buffersAfterEnd_;
    return;
  }
  ++buffers_;
  frames_ += buffer.frameLength;
}

void SimulatedAudioBufferRequest::endAudio() {
  calls_.record("endAudio");
  endByTask();
}

void SimulatedAudioBufferRequest::endByTask() {
  std::lock_guard lock(mutex_);
  ended_ = true;
}

int SimulatedAudioBufferRequest::buffersAppended() const {
  std::lock_guard lock(mutex_);
  return buffers_;
}

std::uint64_t SimulatedAudioBufferRequest::framesAppended() const {
  std::lock_guard lock(mutex_);
  return frames_;
}

int SimulatedAudioBufferRequest::buffersAfterEnd() const {
  std::lock_guard lock(mutex_);
  return buffersAfterEnd_;
}

void SimulatedRecognitionTask::cancel() {
  calls_.record("cancel");
  if (live_) live_->endByTask();
}

void SimulatedRecognitionTask::finish() {
  calls_.record("finish");
  if (live_) live_->endByTask();
  const double finishedAt = loop_.now();
  for (const ScriptedAnswer& answer : onFinish_) {
    deliverPlatformAnswer(loop_, finishedAt + answer.after,
                          [handler = handler_, answer] { handler(answer.result, answer.error); });
  }
  onFinish_.clear();
}

void SimulatedUrlRequest::setRequiresOnDeviceRecognition(bool value) {
  calls_.record("setRequiresOnDeviceRecognition " + flag(value));
  UrlRecognitionRequest::setRequiresOnDeviceRecognition(value);
}

void SimulatedUrlRequest::setShouldReportPartialResults(bool value) {
  calls_.record("setShouldReportPartialResults " + flag(value));
  UrlRecognitionRequest::setShouldReportPartialResults(value);
}

void SimulatedUrlRequest::setTaskHint(RecognitionTaskHint hint) {
  calls_.record("setTaskHint " + std::to_string(static_cast<int>(hint)));
  UrlRecognitionRequest::setTaskHint(hint);
}

void SimulatedUrlRequest::setGrammarFile(std::string path) {
  calls_.record("setGrammarFile " + path);
  UrlRecognitionRequest::setGrammarFile(std::move(path));
}

void SimulatedUrlRequest::setPronunciationFile(std::string path) {
  calls_.record("setPronunciationFile " + path);
  UrlRecognitionRequest::setPronunciationFile(std::move(path));
}

void SimulatedRecognitionService::requestAuthorization(std::function<void(SpeechAuthorizationStatus)> completion) {
  calls_.record("requestAuthorization");
  if (!authorization) {
    ADD_FAILURE() << "unscripted requestAuthorization";
    return;
  }
  if (!authorization->status) return;
  const SpeechAuthorizationStatus status = *authorization->status;
  if (authorization->insideTheCall) {
    answerInsideTheCall(loop_, [&completion, status] { completion(status); });
    return;
  }
  deliverPlatformAnswer(loop_, loop_.now() + authorization->after,
                        [completion = std::move(completion), status] { completion(status); });
}

std::shared_ptr<SpeechRecognizer> SimulatedRecognitionService::recognizerForLocale(
    const std::string& localeIdentifier) {
  calls_.record("recognizerForLocale " + localeIdentifier);
  const auto found = recognizers.find(localeIdentifier);
  if (found == recognizers.end()) return nullptr;
  return std::make_shared<SimulatedRecognizer>(*this, found->second, calls_);
}

std::shared_ptr<AudioBufferRecognitionRequest> SimulatedRecognitionService::makeAudioBufferRequest() {
  calls_.record("makeAudioBufferRequest");
  audioBufferRequests.push_back(std::make_shared<SimulatedAudioBufferRequest>(calls_));
  return audioBufferRequests.back();
}

std::shared_ptr<UrlRecognitionRequest> SimulatedRecognitionService::makeUrlRequest(const std::string& path) {
  calls_.record("makeUrlRequest " + path);
  urlRequests.push_back(std::make_shared<SimulatedUrlRequest>(path, calls_));
  return urlRequests.back();
}

std::shared_ptr<RecognitionTask> SimulatedRecognitionService::startTask(std::shared_ptr<RecognitionRequest> request,
                                                                        RecognitionResultHandler handler) {
  calls_.record("recognitionTask");
  std::vector<ScriptedAnswer> script;
  if (taskScripts.empty()) {
    ADD_FAILURE() << "unscripted recognitionTask";
  } else {
    script = std::move(taskScripts.front());
    taskScripts.pop_front();
  }
  std::vector<ScriptedAnswer> onFinish;
  for (const ScriptedAnswer& answer : script) {
    if (answer.afterFinish) onFinish.push_back(answer);
  }
  std::shared_ptr<SimulatedAudioBufferRequest> live;
  for (const auto& made : audioBufferRequests) {
    if (made == request) live = made;
  }
  auto task = std::make_shared<SimulatedRecognitionTask>(std::move(request), loop_.now(), calls_, loop_, handler,
                                                         std::move(onFinish), live);
  tasks.push_back(task);
  for (const ScriptedAnswer& answer : script) {
    if (answer.afterFinish) continue;
    if (answer.activity) {
      const SpeechActivityHandler handler = live ? live->speechActivityHandler() : nullptr;
      if (!handler) continue;  // nothing is detected without a handler
      deliverPlatformAnswer(loop_, task->startedAt + answer.after,
                            [handler, activity = *answer.activity] { handler(activity); });
      continue;
    }
    deliverPlatformAnswer(loop_, task->startedAt + answer.after,
                          [handler, answer] { handler(answer.result, answer.error); });
  }
  return task;
}

}  // namespace speech_bridge::sim
