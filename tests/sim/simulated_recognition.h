// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/recognition_service.h"
#include "sim/call_log.h"

namespace speech_bridge::sim {

class SimulatedMainLoop;

// When the speech-recognition permission is answered, and with what. An unset
// `status` means the answer never comes.
struct AuthorizationAnswer {
  std::optional<SpeechAuthorizationStatus> status;
  double after = 0.0;  // seconds after the request
  bool insideTheCall = false;  // answered at once, from inside the request
};

// One answer of a task: a result, an error, both or neither.
struct ScriptedAnswer {
  double after = 0.0;  // seconds after the task started
  std::optional<RecognitionResult> result;
  std::optional<RecognitionError> error;
  bool afterFinish = false;  // `after` counts from the task's finish() instead
  // Instead of an answer of the task: a change the live request's speech
  // detector reports, through the request's handler when one is set.
  std::optional<SpeechActivity> activity;
};

ScriptedAnswer interimAnswer(double after, std::string text);
ScriptedAnswer finalAnswer(double after, std::string text);
ScriptedAnswer errorAnswer(double after, std::string description);
// The final result a live task gives `after` seconds after it is asked to finish.
ScriptedAnswer finalAfterFinish(double after, std::string text);
// An interim text that is a whole sentence of the grammar.
ScriptedAnswer sentenceAnswer(double after, std::string text);
// The detector hears speech begin; or silence, `silentFor` seconds old already.
ScriptedAnswer speechBegins(double after);
ScriptedAnswer silenceBegins(double after, double silentFor = 0.0);

// A file request that records the options set on it.
class SimulatedUrlRequest final : public UrlRecognitionRequest {
 public:
  SimulatedUrlRequest(std::string path, CallLog& calls) : UrlRecognitionRequest(std::move(path)), calls_(calls) {}

  void setRequiresOnDeviceRecognition(bool value) override;
  void setShouldReportPartialResults(bool value) override;
  void setTaskHint(RecognitionTaskHint hint) override;
  void setGrammarFile(std::string path) override;
  void setPronunciationFile(std::string path) override;

 private:
  CallLog& calls_;
};

// A live request that records the options set on it and what is appended,
// and accepts appends from any thread, as the real one must.
class SimulatedAudioBufferRequest final : public AudioBufferRecognitionRequest {
 public:
  explicit SimulatedAudioBufferRequest(CallLog& calls) : calls_(calls) {}

  void setRequiresOnDeviceRecognition(bool value) override;
  void setShouldReportPartialResults(bool value) override;
  void setTaskHint(RecognitionTaskHint hint) override;
  void setGrammarFile(std::string path) override;
  void setPronunciationFile(std::string path) override;
  void setSpeechActivityHandler(SpeechActivityHandler handler) override;

  void appendAudioPcmBuffer(const AudioPcmBuffer& buffer) override;
  void endAudio() override;

  int buffersAppended() const;
  std::uint64_t framesAppended() const;
  int buffersAfterEnd() const;  // appended after the audio ended, and ignored

  // What the task's finish() or cancel() does to the audio: ends it, unlogged.
  void endByTask();

 private:
  CallLog& calls_;
  mutable std::mutex mutex_;
  bool ended_ = false;
  int buffers_ = 0;
  std::uint64_t frames_ = 0;
  int buffersAfterEnd_ = 0;
};

// A started task: what it was given, and what was done to it.
class SimulatedRecognitionTask final : public RecognitionTask {
 public:
  SimulatedRecognitionTask(std::shared_ptr<RecognitionRequest> request, double startedAt, CallLog& calls,
                           SimulatedMainLoop& loop, RecognitionResultHandler handler,
                           std::vector<ScriptedAnswer> onFinish,
                           std::shared_ptr<SimulatedAudioBufferRequest> live)
      : request(std::move(request)),
        startedAt(startedAt),
        calls_(calls),
        loop_(loop),
        handler_(std::move(handler)),
        onFinish_(std::move(onFinish)),
        live_(std::move(live)) {}

  const std::shared_ptr<RecognitionRequest> request;
  const double startedAt;  // virtual seconds

  // Delivers the answers scripted for the first finish(). Both end a live
  // request's audio, as a real task does.
  void finish() override;
  void cancel() override;

 private:
  CallLog& calls_;
  SimulatedMainLoop& loop_;
  RecognitionResultHandler handler_;
  std::vector<ScriptedAnswer> onFinish_;
  const std::shared_ptr<SimulatedAudioBufferRequest> live_;  // null for a file request
};

// The recognition service, answering as the test scripts it. Every answer
// arrives at its virtual time through the main loop, as from a service thread,
// and keeps coming after the task was cancelled, as a real service's may.
// Calls that have no scripted answer fail the test.
class SimulatedRecognitionService final : public RecognitionService {
 public:
  SimulatedRecognitionService(SimulatedMainLoop& loop, CallLog& calls) : loop_(loop), calls_(calls) {}

  // Scripts.
  std::map<std::string, bool> recognizers;  // exact locale identifier -> supports on-device recognition
  std::optional<AuthorizationAnswer> authorization;
  std::deque<std::vector<ScriptedAnswer>> taskScripts;  // one per task, in the order tasks start

  // What was made.
  std::vector<std::shared_ptr<SimulatedUrlRequest>> urlRequests;
  std::vector<std::shared_ptr<SimulatedAudioBufferRequest>> audioBufferRequests;
  std::vector<std::shared_ptr<SimulatedRecognitionTask>> tasks;

  void requestAuthorization(std::function<void(SpeechAuthorizationStatus)> completion) override;
  std::shared_ptr<SpeechRecognizer> recognizerForLocale(const std::string& localeIdentifier) override;
  std::shared_ptr<AudioBufferRecognitionRequest> makeAudioBufferRequest() override;
  std::shared_ptr<UrlRecognitionRequest> makeUrlRequest(const std::string& path) override;

  // What every recognizer made here does when asked for a task.
  std::shared_ptr<RecognitionTask> startTask(std::shared_ptr<RecognitionRequest> request,
                                             RecognitionResultHandler handler);

 private:
  SimulatedMainLoop& loop_;
  CallLog& calls_;
};

}  // namespace speech_bridge::sim
