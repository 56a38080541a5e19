// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "platform/pocketsphinx/speech_model.h"

struct ps_decoder_s;

namespace speech_bridge {

class SphinxDecoder;

// How an utterance is searched. The tools' default adds a second, flat pass
// over each utterance when it ends: on a recording nobody waits for it, but a
// listener would wait for it after "stop", about 40 ms per second of speech
// (270 ms for 6 s measured here), with no better words on the test
// recordings. Live audio therefore takes one pass, which ends an utterance in
// tens of milliseconds.
enum class SearchPasses { two, one };

// A loaded decoder, or why there is none.
struct LoadedDecoder {
  std::unique_ptr<SphinxDecoder> decoder;
  std::string error;  // one readable sentence when `decoder` is empty
};

// One PocketSphinx decoder with its model loaded, configured as PocketSphinx's
// own tools configure it by default (so results match theirs), but for the
// passes asked for, with its voice activity detection on. Driven by one thread at a time.
//
// Contract: startUtterance, then process any number of times, then
// endUtterance; then the next utterance may start. hypothesis() may be asked
// at any time.
class SphinxDecoder {
 public:
  // Loads the model: about a quarter of a second for en-US. Call
  // silenceSphinxLogging() first.
  static LoadedDecoder load(const SpeechModel& model, SearchPasses passes = SearchPasses::two);

  ~SphinxDecoder();
  SphinxDecoder(const SphinxDecoder&) = delete;
  SphinxDecoder& operator=(const SphinxDecoder&) = delete;

  int sampleRate() const { return sampleRate_; }

  void startUtterance();
  void process(std::span<const std::int16_t> samples);
  // True while the voice activity detector hears speech.
  bool inSpeech() const;
  void endUtterance();

  // The best hypothesis of the current (or just ended) utterance, as the
  // engine writes it: words with its markers, possibly empty.
  std::string hypothesis() const;

 private:
  SphinxDecoder(ps_decoder_s* decoder, int sampleRate) : decoder_(decoder), sampleRate_(sampleRate) {}

  ps_decoder_s* decoder_;
  int sampleRate_;
};

}  // namespace speech_bridge
