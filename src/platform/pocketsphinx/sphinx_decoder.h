// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "grammar/grammar_graph.h"
#include "platform/pocketsphinx/pronunciations.h"
#include "platform/pocketsphinx/speech_model.h"
#include "platform/pocketsphinx/word_judgement.h"

struct ps_decoder_s;
struct fsg_model_s;

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
// decoder loads neither the language model nor the whole dictionary, which
// take most of the loading time; it learns only the grammar's words.
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
  // competes with the grammar (see grammar_search.h). `pronunciations` holds
  // every word of the graph (see pronounceGrammarWords()). Before the first
  // utterance. Nothing, or what is wrong with the grammar, to follow the
  // grammar file's name.
  std::optional<GrammarProblem> useGrammar(
      const GrammarGraph& graph, const std::unordered_map<std::string, std::vector<Pronunciation>>& pronunciations);

  ~SphinxDecoder();
  SphinxDecoder(const SphinxDecoder&) = delete;
  SphinxDecoder& operator=(const SphinxDecoder&) = delete;

  int sampleRate() const { return model_.sampleRate; }

  // Takes the mean of the cepstra of `samples`' speech as the utterances'
  // starting point for cepstral mean normalisation, in place of the model's
  // general one: what batch decoding does with a whole recording. Before the
  // first utterance.
  void normaliseFor(std::span<const std::int16_t> samples);

  void startUtterance();
  // Ends the utterance under way and starts another with the sound
  // normalised for `samples`, which are to be decoded in it once more: under
  // a grammar the sentence so far stays until the new decoding has one.
  // Returns the sentence that the ended utterance made, judged as a final
  // one is (empty when none, and without a grammar).
  std::string restartUtterance(std::span<const std::int16_t> samples);
  void process(std::span<const std::int16_t> samples);
  // True while the voice activity detector hears speech.
  bool inSpeech() const;
  void endUtterance();

  // The best hypothesis of the current (or just ended) utterance, as the
  // engine writes it: words with its markers, possibly empty. Under a
  // grammar: empty while speech that is no sentence of it leads, and once
  // the utterance has ended, a sentence of it or, when the speech is judged
  // to be none (see grammar_search.h), empty.
  std::string hypothesis() const;

  // Under a grammar, once an utterance has ended: how far its best sentence
  // fell short of the phone loop (see grammar_search.h), in natural log per
  // frame; nothing when either was missing.
  std::optional<double> lastMargin() const { return lastMargin_; }

  // Under a grammar, once an utterance has ended: true when it was judged
  // to be no sentence of the grammar (see grammar_search.h).
  bool lastRejected() const { return lastRejected_; }

  // The rules and tags of a sentence of the grammar, as its text reads;
  // empty without a grammar or for text that is no sentence of it.
  std::vector<RuleMatch> parse(const std::string& text) const;

  // Under a grammar: `text` is a whole sentence of it, not only the start
  // of one. False without a grammar.
  bool isSentence(const std::string& text) const;

 private:
  SphinxDecoder(ps_decoder_s* decoder, const SpeechModel& model) : decoder_(decoder), model_(model) {}

  // Under a grammar: the verdict on the utterance just ended.
  std::string judgedSentence();

  struct BestPath {
    bool found = false;
    std::string words;    // with the engine's markers
    double sounds = 0.0;  // acoustic score, the engine's units
    std::vector<PathSegment> segments;  // scores in natural log
  };
  // One of the engine's path score units in natural log.
  double naturalLogPerUnit() const;
  // The best path of the utterance just ended that ends in `state`.
  BestPath bestPathTo(int state);

  ps_decoder_s* decoder_;
  const SpeechModel model_;
  std::optional<GrammarGraph> grammar_;  // set by useGrammar()
  fsg_model_s* fsg_ = nullptr;           // the grammar as the engine has it
  int grammarEnd_ = 0;
  int loopState_ = 0;
  int wordLoopState_ = 0;
  bool rejecting_ = false;    // the grammar has its phone loop
  bool wordLooping_ = false;  // and its word loop
  bool inUtterance_ = false;
  std::string judged_;
  mutable std::string leadingSentence_;
  std::optional<double> lastMargin_;
  bool lastRejected_ = false;
};

}  // namespace speech_bridge
