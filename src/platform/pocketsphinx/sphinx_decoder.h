// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "platform/grammar/grammar_graph.h"
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

// What a decoder listens for: any words of the model's language, or the
// sentences of a grammar given afterwards with useGrammar(). A grammar
// decoder loads no language model, which is most of the loading time.
enum class Vocabulary { openLanguage, grammar };

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
  static LoadedDecoder load(const SpeechModel& model, SearchPasses passes = SearchPasses::two,
                            Vocabulary vocabulary = Vocabulary::openLanguage);

  // Restricts a decoder loaded for a grammar to the graph's sentences, with a
  // way out for speech that is none of them: a loop of the model's phones
  // competes with the grammar, and where it wins the hypothesis is empty.
  // Before the first utterance. Nothing, or what is wrong with the grammar
  // ("uses the word ..."), to follow the grammar file's name.
  std::optional<GrammarProblem> useGrammar(const GrammarGraph& graph);

  ~SphinxDecoder();
  SphinxDecoder(const SphinxDecoder&) = delete;
  SphinxDecoder& operator=(const SphinxDecoder&) = delete;

  int sampleRate() const { return model_.sampleRate; }

  void startUtterance();
  void process(std::span<const std::int16_t> samples);
  // True while the voice activity detector hears speech.
  bool inSpeech() const;
  void endUtterance();

  // The best hypothesis of the current (or just ended) utterance, as the
  // engine writes it: words with its markers, possibly empty. Empty under a
  // grammar while speech that is no sentence of it leads.
  std::string hypothesis() const;

 private:
  SphinxDecoder(ps_decoder_s* decoder, const SpeechModel& model) : decoder_(decoder), model_(model) {}

  ps_decoder_s* decoder_;
  const SpeechModel model_;
  bool rejecting_ = false;  // under a grammar, with its phone loop
};

}  // namespace speech_bridge
