// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <future>
#include <string>
#include <utility>
#include <vector>

#include "platform/library/task_thread.h"
#include "platform/speech/speech_engine.h"
#include "platform/speech_synthesis.h"

namespace speech_bridge {

// An installed voice and the languages eSpeak NG says it speaks.
struct EspeakVoice {
  SpeechVoice voice;
  // eSpeak NG's language names ("en-us", "en") with their priority; a lower
  // number is a better match for that language.
  std::vector<std::pair<int, std::string>> languages;
};

// eSpeak NG's installed voices; an utterance without a voice is spoken with
// eSpeak NG's own default voice. eSpeak NG keeps one global instance, so
// every call into it is made on the one thread that this object owns; other
// threads hand it tasks. The thread starts on first use and lists the voices
// before anything else, so a voice lookup never waits for a synthesis.
class EspeakEngine final : public SpeechEngine {
 public:
  static EspeakEngine& shared();
  ~EspeakEngine() override;

  EspeakEngine(const EspeakEngine&) = delete;
  EspeakEngine& operator=(const EspeakEngine&) = delete;

  // Every installed voice, in eSpeak NG's order. Any thread but the engine's.
  const std::vector<EspeakVoice>& inventory();

  const std::vector<SpeechVoice>& voices() override;
  VoiceIndex voiceForLanguage(const std::string& languageTag) override;
  void submit(std::function<void()> task) override;
  void prepare(VoiceIndex voice) override;
  bool speak(VoiceIndex voice, const std::string& text, SpeechOutput& output) override;

  // The rest: on the engine thread only.

  // Starts synthesis once; false when eSpeak NG cannot (its data is missing).
  bool startSynthesis();
  int sampleRate() const { return sampleRate_; }

  // Makes the voice with exactly this identifier the one that speaks.
  bool selectVoice(const std::string& identifier);
  // eSpeak NG's own default voice.
  bool selectDefaultVoice();

  // Receives each block of samples; returns false to abort the synthesis.
  using SampleConsumer = std::function<bool(const std::int16_t* samples, std::size_t count)>;
  // Hears where each word starts, as a count of samples from the start,
  // before the block that holds that sample.
  using WordListener = std::function<void(std::size_t firstSample)>;

  // Synthesizes UTF-8 text with the selected voice, block by block, at
  // sampleRate(), mono. False when synthesis failed; an aborted one counts
  // as done.
  bool synthesize(const std::string& text, const SampleConsumer& consume, const WordListener& words = {});

 private:
  EspeakEngine();
  void listVoices();

  std::vector<EspeakVoice> inventory_;
  std::vector<SpeechVoice> voices_;  // the inventory's, as listed
  std::promise<void> listedPromise_;
  std::shared_future<void> listed_;

  // Engine thread only.
  bool synthesisStarted_ = false;
  int sampleRate_ = 0;

  TaskThread thread_;  // last: gone first, before what its tasks use
};

}  // namespace speech_bridge
