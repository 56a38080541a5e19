// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "grammar/rule_match.h"
#include "platform/audio_buffer.h"

namespace speech_bridge {

enum class SpeechAuthorizationStatus { notDetermined = 0, denied = 1, restricted = 2, authorized = 3 };

enum class RecognitionTaskHint { unspecified = 0, dictation = 1, search = 2, confirmation = 3 };

struct RecognitionResult {
  RecognitionResult() = default;
  RecognitionResult(std::string text, bool final) : formattedString(std::move(text)), isFinal(final) {}

  std::string formattedString;  // the best transcription so far, as the service formats it
  bool isFinal = false;         // true on the last result of a task
  // Under a grammar, on the final result only: the text is empty because
  // speech was heard that is no sentence of the grammar (not because nobody
  // spoke).
  bool rejected = false;
  // Under a grammar, on a final result with text: the rules the sentence
  // passed through, the public rule first, in pre-order.
  std::vector<RuleMatch> rules;
  // Under a grammar, on an interim result: the text is a whole sentence of
  // the grammar, not only the start of one.
  bool wholeSentence = false;
};

// A change in what a live request's speech detector hears.
struct SpeechActivity {
  bool speaking = false;
  // On a change to silence: how long the input had been silent when the
  // detector could tell it was more than a gap between sounds.
  double silentSeconds = 0.0;
};

using SpeechActivityHandler = std::function<void(SpeechActivity)>;

struct RecognitionError {
  std::string localizedDescription;  // one readable sentence
};

class AudioBufferRecognitionRequest;
class UrlRecognitionRequest;

// The kinds of request. A request passes itself to the member for its kind,
// so that a recognizer learns what it was given without a type check.
class RecognitionRequestKinds {
 public:
  virtual ~RecognitionRequestKinds() = default;
  virtual void audioBuffers(AudioBufferRecognitionRequest& request) = 0;
  virtual void audioFile(UrlRecognitionRequest& request) = 0;
};

// What a task is asked to recognise. Options are set before the task starts.
// The setters are virtual so that a fake can record the order of calls.
class RecognitionRequest {
 public:
  virtual ~RecognitionRequest() = default;

  // Calls the member of `kinds` for this request's kind, once.
  virtual void passKind(RecognitionRequestKinds& kinds) = 0;

  virtual void setRequiresOnDeviceRecognition(bool value) { requiresOnDeviceRecognition_ = value; }
  virtual void setShouldReportPartialResults(bool value) { shouldReportPartialResults_ = value; }
  virtual void setTaskHint(RecognitionTaskHint hint) { taskHint_ = hint; }
  // The absolute path of a grammar file (JSGF, or a list of phrases) whose
  // sentences are all the task may recognise; speech that is none of them
  // gives an empty text. A grammar that cannot be used ends the task with
  // one error, before any interim result. Without one, any words of the
  // locale are recognised.
  virtual void setGrammarFile(std::string path) { grammarFile_ = std::move(path); }
  // The absolute path of the host's pronunciations for the grammar's words,
  // which come before any other; only with a grammar file. A file that
  // cannot be used ends the task like a grammar that cannot.
  virtual void setPronunciationFile(std::string path) { pronunciationFile_ = std::move(path); }

  bool requiresOnDeviceRecognition() const { return requiresOnDeviceRecognition_; }
  bool shouldReportPartialResults() const { return shouldReportPartialResults_; }
  RecognitionTaskHint taskHint() const { return taskHint_; }
  const std::optional<std::string>& grammarFile() const { return grammarFile_; }
  const std::optional<std::string>& pronunciationFile() const { return pronunciationFile_; }

 private:
  bool requiresOnDeviceRecognition_ = false;
  bool shouldReportPartialResults_ = true;
  RecognitionTaskHint taskHint_ = RecognitionTaskHint::unspecified;
  std::optional<std::string> grammarFile_;
  std::optional<std::string> pronunciationFile_;
};

// Where a live request's buffers go: the audio input of the task that
// recognises it, which the recognizer makes.
class AudioBufferSink {
 public:
  virtual ~AudioBufferSink() = default;
  // Capture thread, in capture order: copies what it needs and returns at once.
  virtual void append(const AudioPcmBuffer& buffer) = 0;
  // Any thread: no audio follows. Harmless when repeated.
  virtual void endAudio() = 0;
};

// Live audio, appended as it is captured.
class AudioBufferRecognitionRequest : public RecognitionRequest {
 public:
  void passKind(RecognitionRequestKinds& kinds) final { kinds.audioBuffers(*this); }

  // Called on the capture thread, in capture order; safe while the main thread
  // ends the audio or finishes or cancels the task. Copies what it needs and
  // returns at once; buffers appended after endAudio(), or before a task
  // started for the request, are ignored.
  virtual void appendAudioPcmBuffer(const AudioPcmBuffer& buffer) {
    if (ended_.load()) return;
    if (AudioBufferSink* sink = sinkSeen_.load()) sink->append(buffer);
  }

  // No audio follows; the task goes on to its final result. A second call is
  // harmless, and so is a call after the task's finish() or cancel(), which
  // end the audio themselves.
  virtual void endAudio() {
    ended_.store(true);
    if (AudioBufferSink* sink = sinkSeen_.load()) sink->endAudio();
  }

  // Set before the task starts; without one nothing is detected. `handler`
  // is told each change: speech begins, or speech has given way to silence.
  // Steady noise, a hum or silence is never speech. It runs on the capture
  // thread and must return at once, and may still run after the task ends.
  virtual void setSpeechActivityHandler(SpeechActivityHandler handler) { activityHandler_ = std::move(handler); }
  const SpeechActivityHandler& speechActivityHandler() const { return activityHandler_; }

  // The recognizer, on the thread that starts the task, before any buffer is
  // appended: where the buffers go. Only the first call counts.
  void connect(std::shared_ptr<AudioBufferSink> sink) {
    if (sink_ || !sink) return;
    sink_ = std::move(sink);
    sinkSeen_.store(sink_.get());
    if (ended_.load()) sink_->endAudio();
  }

 private:
  SpeechActivityHandler activityHandler_;
  std::shared_ptr<AudioBufferSink> sink_;  // kept while the request lives
  // Sequentially consistent: an end racing a connect is seen by one of them.
  std::atomic<AudioBufferSink*> sinkSeen_{nullptr};
  std::atomic<bool> ended_{false};
};

// A local audio file, which the service reads itself.
class UrlRecognitionRequest : public RecognitionRequest {
 public:
  explicit UrlRecognitionRequest(std::string path) : path_(std::move(path)) {}
  void passKind(RecognitionRequestKinds& kinds) final { kinds.audioFile(*this); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

class RecognitionTask {
 public:
  virtual ~RecognitionTask() = default;

  // Asks for a final result for the audio received so far. A live request's
  // audio ends here: nothing appended afterwards is heard, and no endAudio()
  // is needed.
  virtual void finish() = 0;

  // Stops the task, and ends a live request's audio as finish() does.
  // Answers may still arrive afterwards; callers discard them.
  virtual void cancel() = 0;
};

// Called zero or more times on a thread of the service, each time with a
// result, an error, both or neither. An interim result may repeat the text
// of the one before it: the receiver decides what counts as a change.
using RecognitionResultHandler =
    std::function<void(std::optional<RecognitionResult> result, std::optional<RecognitionError> error)>;

class SpeechRecognizer {
 public:
  virtual ~SpeechRecognizer() = default;

  // True only when the locale is recognised without any server.
  virtual bool supportsOnDeviceRecognition() const = 0;

  // Starts a task for a request that no task has used yet and returns its
  // handle at once. Never calls `handler` from inside this call.
  virtual std::shared_ptr<RecognitionTask> recognitionTask(std::shared_ptr<RecognitionRequest> request,
                                                           RecognitionResultHandler handler) = 0;
};

class RecognitionService {
 public:
  virtual ~RecognitionService() = default;

  // Asks for recognition permission. `completion` is called exactly once, on
  // any thread, possibly from inside this call.
  virtual void requestAuthorization(std::function<void(SpeechAuthorizationStatus)> completion) = 0;

  // The recognizer for a locale identifier such as "en-US", or nullptr when
  // the locale is not supported. Cheap: models load when a task runs.
  virtual std::shared_ptr<SpeechRecognizer> recognizerForLocale(const std::string& localeIdentifier) = 0;

  virtual std::shared_ptr<AudioBufferRecognitionRequest> makeAudioBufferRequest() = 0;
  virtual std::shared_ptr<UrlRecognitionRequest> makeUrlRequest(const std::string& path) = 0;
};

}  // namespace speech_bridge
