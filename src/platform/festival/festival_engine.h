// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/library/task_thread.h"
#include "platform/speech/speech_engine.h"

namespace speech_bridge {

struct FestivalVoice;

// Festival's installed voices (platform/festival/festival_voices.h). It has
// no default voice of its own: an utterance without a voice cannot be spoken
// here, and is another engine's.
//
// Festival keeps all its state in globals (a Scheme heap among them), cannot
// be shut down or started twice, and jumps (longjmp) to its top level on an
// error. So one thread owns it for the life of the process: the thread that
// this object starts initialises Festival and makes every later call into
// it; other threads hand it tasks. Listing the voices starts nothing (they
// are found in their folders); voices are loaded on first use and kept.
class FestivalEngine final : public SpeechEngine {
 public:
  // Festival starts with the first task submitted (or the first prepare or
  // utterance), never before.
  static FestivalEngine& shared();
  ~FestivalEngine() override;

  FestivalEngine(const FestivalEngine&) = delete;
  FestivalEngine& operator=(const FestivalEngine&) = delete;

  const std::vector<SpeechVoice>& voices() override;
  VoiceIndex voiceForLanguage(const std::string& languageTag) override;
  void submit(std::function<void()> task) override;
  void prepare(VoiceIndex voice) override;
  bool speak(VoiceIndex voice, const std::string& text, SpeechOutput& output) override;

  // The rest: on the engine thread only.

  // Loads the voice, once, and makes it the one that speaks. Its sample rate,
  // or 0 when it cannot speak (Festival did not start, or the voice's files
  // are missing or damaged: it is not tried again).
  int loadVoice(const FestivalVoice& voice);

  // Receives each block of samples, mono at the voice's rate; returns false
  // to abort the synthesis.
  using SampleConsumer = std::function<bool(const std::int16_t* samples, std::size_t count)>;
  // Hears where each word starts, as a count of samples from the start,
  // before the block that holds that sample.
  using WordListener = std::function<void(std::size_t firstSample)>;
  // Asked before each piece: false once nobody wants the rest.
  using Wanted = std::function<bool()>;

  // Synthesizes UTF-8 text with the voice (loading it if needed), piece by
  // piece (platform/speech/text_pieces.h), handing each piece's samples on
  // once it is done, block by block. Silence before the first word and after
  // the last is left out, and pauses between pieces are kept short. False
  // when synthesis failed; one that was aborted counts as done.
  bool synthesize(const FestivalVoice& voice, const std::string& text, const SampleConsumer& consume,
                  const WordListener& words, const Wanted& wanted);

 private:
  FestivalEngine();
  void start();

  bool started_ = false;
  std::map<std::string, int> sampleRates_;  // by voice name; 0: cannot speak
  std::string selected_;                    // the voice Festival speaks with

  TaskThread thread_;  // last: gone first, before what its tasks use
};

}  // namespace speech_bridge
