// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include "platform/speech/speech_engine.h"

namespace speech_bridge::sim {

class SimulatedMainLoop;

// A speech engine on the virtual clock, with a voice inventory given by the
// test. Its thread is a background thread of the loop that runs the
// submitted tasks in order. It speaks a text as `secondsPerWord` of samples
// per word, at once in virtual time (an engine runs ahead of the sound), and
// marks where each word starts. Records every prepare and speak.
class SimulatedSpeechEngine final : public SpeechEngine {
 public:
  explicit SimulatedSpeechEngine(SimulatedMainLoop& loop);
  // Ends the engine's thread; nothing may be submitted afterwards.
  ~SimulatedSpeechEngine() override;

  // The inventory. voiceForLanguage() finds the first voice whose language
  // equals the tag exactly.
  std::vector<SpeechVoice> inventory;
  int sampleRate = 16000;
  double secondsPerWord = 0.5;
  // Whether an utterance without a voice can be spoken.
  bool hasDefaultVoice = true;
  // speak() fails after this many words, as an engine that breaks.
  std::optional<std::size_t> failsAfterWords;

  // "prepare(ID)", "speak(TEXT, ID)", with "default voice" for no voice; in
  // the order the engine's thread ran them. Read once the job has ended.
  std::vector<std::string> calls() const;

  const std::vector<SpeechVoice>& voices() override { return inventory; }
  VoiceIndex voiceForLanguage(const std::string& languageTag) override;
  void submit(std::function<void()> task) override;
  void prepare(VoiceIndex voice) override;
  bool speak(VoiceIndex voice, const std::string& text, SpeechOutput& output) override;

 private:
  std::string voiceName(VoiceIndex voice) const;
  void record(std::string call);
  void runTasks();

  SimulatedMainLoop& loop_;
  // Under the loop's lock.
  std::deque<std::function<void()>> tasks_;
  bool closing_ = false;
  std::vector<std::string> calls_;
  std::promise<void> exitedPromise_;
  std::future<void> exited_;
};

}  // namespace speech_bridge::sim
