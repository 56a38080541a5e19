// SPDX-License-Identifier: GPL-3.0-or-later
// Turning a grammar graph into the engine's finite-state grammar. The graph
// is built by our own code, and the engine only ever sees a graph: its own
// JSGF reader is never given a file.
#include "platform/pocketsphinx/grammar_search.h"

#include <pocketsphinx.h>
#include <sphinxbase/fsg_model.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "grammar/grammar_text.h"
#include "platform/pocketsphinx/sphinx_decoder.h"
#include "platform/pocketsphinx/sphinx_logging.h"
#include "platform/pocketsphinx/transcript_text.h"

namespace speech_bridge {
namespace {

constexpr const char* kSearchName = "grammar";

std::vector<std::string> phonesOf(const std::string& phones) {
  std::vector<std::string> list;
  std::size_t at = 0;
  while (at < phones.size()) {
    const std::size_t end = std::min(phones.find(' ', at), phones.size());
    if (end > at) list.push_back(phones.substr(at, end - at));
    at = end + 1;
  }
  return list;
}

std::string quoted(const std::string& word) { return "\"" + shortened(word) + "\""; }

// The engine's probabilities: log base of its own, scaled by the language weight.
int32 engineLog(logmath_t* logMath, float lw, double naturalLog) {
  return static_cast<int32>(std::lround(logmath_ln_to_log(logMath, naturalLog) * lw));
}

}  // namespace

GrammarProblem unpronounceableWords(const std::vector<std::string>& words, const std::string& locale) {
  std::string named = quoted(words[0]);
  const std::size_t shown = std::min<std::size_t>(words.size(), 3);
  for (std::size_t i = 1; i < shown; ++i)
    named += (i + 1 == shown && words.size() == shown ? " and " : ", ") + quoted(words[i]);
  if (words.size() > shown) named += " and " + std::to_string(words.size() - shown) + " more";
  return {std::string("uses the word") + (words.size() > 1 ? "s " : " ") + named +
          ", which no rule can pronounce (not in the " + locale + " dictionary, nor written in letters or digits)"};
}

bool isRejection(std::string_view hypothesis) {
  return hypothesis.find(kRejectionWordPrefix) != std::string_view::npos ||
         hypothesis.find(kWordLoopPrefix) != std::string_view::npos;
}

fsg_model_t* engineGrammar(const GrammarGraph& graph, logmath_t* logMath, float languageWeight, int moreStates) {
  fsg_model_t* fsg = fsg_model_init(kSearchName, logMath, languageWeight, graph.stateCount + moreStates);
  fsg->start_state = graph.start;
  fsg->final_state = graph.final;
  for (const GrammarArc& arc : graph.arcs) {
    const int32 weight = engineLog(logMath, languageWeight, arc.logProbability);
    if (arc.word < 0) {
      fsg_model_null_trans_add(fsg, arc.from, arc.to, weight);
    } else {
      const int word = fsg_model_word_add(fsg, graph.words[static_cast<std::size_t>(arc.word)].c_str());
      fsg_model_trans_add(fsg, arc.from, arc.to, weight, word);
    }
  }
  return fsg;
}

SphinxDecoder::BestPath SphinxDecoder::bestPathTo(int state) {
  // The search looks for the end state only when asked for a path, so one
  // search answers for the grammar's end and for the loop's alike.
  const int end = fsg_->final_state;
  fsg_->final_state = state;
  BestPath path;
  ps_seg_t* segment = ps_seg_iter(decoder_);
  path.found = segment != nullptr;
  for (; segment; segment = ps_seg_next(segment)) {
    const std::string_view word = ps_seg_word(segment);
    if (word == "(NULL)") continue;  // a null arc: no sound
    int32 sounds = 0;
    ps_seg_prob(segment, &sounds, nullptr, nullptr);
    path.sounds += sounds;
    appendWords(path.words, word);
    PathSegment stretch{std::string(word), 0, 0, sounds * naturalLogPerUnit()};
    ps_seg_frames(segment, &stretch.first, &stretch.last);
    path.segments.push_back(std::move(stretch));
  }
  fsg_->final_state = end;
  takeSphinxError();  // "Final result does not match the grammar" when there is none
  return path;
}

std::optional<GrammarProblem> SphinxDecoder::useGrammar(
    const GrammarGraph& graph, const std::unordered_map<std::string, std::vector<Pronunciation>>& pronunciations) {
  takeSphinxError();
  for (const std::string& word : graph.words) {
    const auto found = pronunciations.find(word);
    if (found == pronunciations.end()) return unpronounceableWords({word}, model_.locale);
    for (const Pronunciation& pronunciation : found->second) {
      if (ps_add_word(decoder_, pronunciation.entry.c_str(), pronunciation.phones.c_str(), FALSE) < 0) {
        return GrammarProblem{"uses the word " + quoted(word) + ", whose pronunciation " +
                              shortened(pronunciation.phones) + " the " + model_.locale + " model cannot say"};
      }
    }
  }
  const std::vector<std::string> phones = phonesOf(model_.phones);
  logmath_t* logMath = ps_get_logmath(decoder_);
  const float lw = cmd_ln_float32_r(ps_get_config(decoder_), "-lw");
  const int loop = graph.stateCount;  // the phone loop's state, after the grammar's
  loopState_ = loop;
  grammarEnd_ = graph.final;
  fsg_model_t* fsg = engineGrammar(graph, logMath, lw, 2);  // and the two loops' states
  // The word loop: from the start, any of the grammar's words in any order,
  // each with every pronunciation the grammar's word has ("<word-loop:read>(2)").
  const int wordLoop = graph.stateCount + 1;
  wordLoopState_ = wordLoop;
  const int32 wordCost = engineLog(logMath, lw, std::log(kWordLoopCost));
  for (const std::string& word : graph.words) {
    const std::string looped = std::string(kWordLoopPrefix) + word + ">";
    bool added = false;
    for (const Pronunciation& pronunciation : pronunciations.find(word)->second) {
      const bool alternate = pronunciation.entry.size() > word.size() && pronunciation.entry.starts_with(word);
      const std::string entry = looped + (alternate ? pronunciation.entry.substr(word.size()) : std::string());
      added = ps_add_word(decoder_, entry.c_str(), pronunciation.phones.c_str(), FALSE) >= 0 || added;
    }
    if (!added) continue;
    const int id = fsg_model_word_add(fsg, looped.c_str());
    fsg_model_trans_add(fsg, graph.start, wordLoop, wordCost, id);
    fsg_model_trans_add(fsg, wordLoop, wordLoop, wordCost, id);
    wordLooping_ = true;
  }
  // The phone loop: from the start, one phone or more.
  const int32 phoneCost = engineLog(logMath, lw, std::log(kRejectionPhoneCost));
  for (const std::string& phone : phones) {
    const std::string word = std::string(kRejectionWordPrefix) + phone + ">";
    if (ps_add_word(decoder_, word.c_str(), phone.c_str(), FALSE) < 0) continue;
    const int id = fsg_model_word_add(fsg, word.c_str());
    fsg_model_trans_add(fsg, graph.start, loop, phoneCost, id);
    fsg_model_trans_add(fsg, loop, loop, phoneCost, id);
    rejecting_ = true;
  }
  // The loops have no way to the search's end: the search's best final path
  // is always a sentence, and each loop's best path is asked for separately
  // (see bestPathTo()).
  const bool ready = ps_set_fsg(decoder_, kSearchName, fsg) == 0 && ps_set_search(decoder_, kSearchName) == 0;
  if (ready) {
    grammar_ = graph;
    fsg_ = fsg;  // our own reference, kept: bestPathTo() moves its end
    return std::nullopt;
  }
  fsg_model_free(fsg);
  std::string reason = takeSphinxError();
  return GrammarProblem{"could not be made ready for recognition" + (reason.empty() ? std::string() : ": " + reason)};
}

}  // namespace speech_bridge
