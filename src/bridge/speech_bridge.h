// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "bridge/event.h"
#include "platform/platform.h"
#include "platform/speech_synthesis.h"

namespace speech_bridge {

class AudioBufferRecognitionRequest;
class AudioEngine;
struct SpeechActivity;
class RecognitionRequest;
class RecognitionTask;
class SpeechRecognizer;

// All state of one job. Every field is read and written on the main thread
// only; answers from other threads reach it as tasks posted to the main loop.
// Create it with std::make_shared: deferred steps hold it weakly.
class SpeechBridge : public SpeechSynthesizerDelegate, public std::enable_shared_from_this<SpeechBridge> {
 public:
  explicit SpeechBridge(Platform& platform);
  ~SpeechBridge() override;

  SpeechBridge(const SpeechBridge&) = delete;
  SpeechBridge& operator=(const SpeechBridge&) = delete;

  // Writes one event line. Tests no state: callers that write a non-finishing
  // event test `done` themselves.
  void emit(const std::string& kind, const EventFields& fields = {});

  // Ends the job with this last event and exit code. Only the first call (of
  // this or fail) has any effect.
  void finish(const std::string& kind, const EventFields& fields = {}, std::int32_t code = 0);

  // finish("error", {"message": message}, 1).
  void fail(const std::string& message);

  // Stops the microphone and removes the tap; safe to repeat. The audio of
  // the request ends once, where the task is finished or cancelled.
  void stopCapture();

  // Recognition.
  using StartCallback = std::function<void(std::shared_ptr<SpeechRecognizer>)>;
  void authorize(const std::string& locale, bool microphone, StartCallback start);
  void recognition(const std::shared_ptr<SpeechRecognizer>& recognizer,
                   const std::shared_ptr<RecognitionRequest>& request);
  void listen(const std::string& locale);
  void stopListening();
  // --stop-on-silence: from now on, what the request's speech detector hears
  // may stop listening, as the host's "stop" would.
  void stopOnSilence(AudioBufferRecognitionRequest& live);
  void heardSpeechActivity(const SpeechActivity& activity);
  // An interim result, changed or not: whether its text is a whole sentence.
  void heardInterim(bool wholeSentence);
  void listenControls();
  void transcribe(const std::string& path, const std::string& locale);

  // Speech output.
  void speak(const std::string& text, const std::optional<std::string>& voice, const std::string& locale);
  void speechSynthesizerDidFinishSpeechUtterance(SpeechSynthesizer& synthesizer,
                                                 const SpeechUtterance& utterance) override;
  void speechSynthesizerDidCancelSpeechUtterance(SpeechSynthesizer& synthesizer,
                                                 const SpeechUtterance& utterance) override;

  Platform& platform() { return platform_; }

  bool done = false;
  std::int32_t exitCode = 0;
  std::shared_ptr<AudioEngine> engine;
  std::shared_ptr<AudioBufferRecognitionRequest> request;
  std::shared_ptr<RecognitionTask> task;
  std::shared_ptr<SpeechRecognizer> recognizer;
  const std::unique_ptr<SpeechSynthesizer> synthesizer;
  bool tapInstalled = false;
  bool finishing = false;
  bool speechInputReceived = false;
  std::string controls;
  std::string lastPartial;
  // The absolute path given with --grammar: every recognition request of
  // the job carries it.
  std::optional<std::string> grammarFile;
  // The absolute path given with --pronunciations, which comes with --grammar only.
  std::optional<std::string> pronunciationFile;

  // The seconds given with --stop-on-silence: once speech was heard, that
  // much silence stops listening (twice that, under a grammar, after words
  // that are not yet a whole sentence of it).
  static constexpr double kLeastSilenceSeconds = 0.2;
  static constexpr double kMostSilenceSeconds = 10.0;
  std::optional<double> stopOnSilenceSeconds;
  // Off with --no-echo-cancel: listening cancels what the computer plays
  // from the microphone where capture can hear it.
  bool cancelEcho = true;
  bool speechHeard = false;
  bool partialIsSentence = false;
  std::optional<double> silentSince;  // main loop time
  int silenceChecks = 0;              // a check of an older count is stale

 private:
  void handleControlChunk(const std::string& chunk);
  void checkSilence();

  Platform& platform_;
};

}  // namespace speech_bridge
