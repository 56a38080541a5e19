// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/library/task_thread.h"
#include "platform/speech/speech_engine.h"

namespace speech_bridge {

struct FliteVoice;
class FliteVoiceLibrary;

// Flite's voices (platform/flite/flite_voices.h), the first the default one.
// Flite keeps global state (its error jump, the random numbers of its
// vocoder), so every call into it is made on the one thread that this object
// owns; other threads hand it tasks. Listing the voices loads nothing; a
// voice's library is loaded when it first speaks or is prepared, and kept.
class FliteEngine final : public SpeechEngine {
 public:
  static FliteEngine& shared();
  ~FliteEngine() override;

  FliteEngine(const FliteEngine&) = delete;
  FliteEngine& operator=(const FliteEngine&) = delete;

  const std::vector<SpeechVoice>& voices() override;
  VoiceIndex voiceForLanguage(const std::string& languageTag) override;
  void submit(std::function<void()> task) override;
  void prepare(VoiceIndex voice) override;
  bool speak(VoiceIndex voice, const std::string& text, SpeechOutput& output) override;

  // The rest: on the engine thread only.

  // Loads the voice's library, once; false when it cannot be loaded.
  bool loadVoice(const FliteVoice& voice);

  // Receives each block of samples, mono at `sampleRate`; returns false to
  // abort the synthesis.
  using SampleConsumer = std::function<bool(int sampleRate, const std::int16_t* samples, std::size_t count)>;
  // Hears where each word starts, as a count of samples from the start,
  // before the block that holds that sample.
  using WordListener = std::function<void(std::size_t firstSample)>;

  // Synthesizes UTF-8 text with the voice (loading it if needed), sentence
  // by sentence, block by block. False when synthesis failed; an aborted one
  // counts as done.
  bool synthesize(const FliteVoice& voice, const std::string& text, const SampleConsumer& consume,
                  const WordListener& words = {});

 private:
  FliteEngine();
  FliteVoiceLibrary* library(const FliteVoice& voice);

  std::map<std::string, std::unique_ptr<FliteVoiceLibrary>> loaded_;  // by identifier

  TaskThread thread_;  // last: gone first, before what its tasks use
};

}  // namespace speech_bridge
