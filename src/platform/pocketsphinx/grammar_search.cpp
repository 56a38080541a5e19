// SPDX-License-Identifier: GPL-3.0-or-later
// Turning a grammar graph into the engine's finite-state grammar. The graph
// is built by our own code, and the engine only ever sees a graph: its own
// JSGF reader is never given a file.
#include "platform/pocketsphinx/grammar_search.h"

#include <pocketsphinx.h>
#include <sphinxbase/ckd_alloc.h>
#include <sphinxbase/fsg_model.h>

#include <cmath>
#include <string>
#include <vector>

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

std::string quoted(const std::string& word) { return "\"" + word + "\""; }

// "uses the word "zorg", which the en-US dictionary lacks", naming at most three.
std::string missingWords(const std::vector<std::string>& missing, const std::string& locale) {
  std::string named = quoted(missing[0]);
  const std::size_t shown = std::min<std::size_t>(missing.size(), 3);
  for (std::size_t i = 1; i < shown; ++i) named += (i + 1 == shown && missing.size() == shown ? " and " : ", ") + quoted(missing[i]);
  if (missing.size() > shown) named += " and " + std::to_string(missing.size() - shown) + " more";
  return std::string("uses the word") + (missing.size() > 1 ? "s " : " ") + named + ", which the " + locale +
         " dictionary lacks";
}

// A grammar word the dictionary can recognise: an entry, and no marker of
// silence or noise, which recognition drops from every text.
bool isRecognisable(ps_decoder_t* decoder, const std::string& word) {
  char* phones = ps_lookup_word(decoder, word.c_str());
  ckd_free(phones);
  return phones != nullptr && !readableTranscript(word).empty();
}

// The engine's probabilities: log base of its own, scaled by the language weight.
int32 engineLog(logmath_t* logMath, float lw, double naturalLog) {
  return static_cast<int32>(std::lround(logmath_ln_to_log(logMath, naturalLog) * lw));
}

}  // namespace

bool isRejection(std::string_view hypothesis) { return hypothesis.find(kRejectionWordPrefix) != std::string_view::npos; }

std::optional<GrammarProblem> SphinxDecoder::useGrammar(const GrammarGraph& graph) {
  std::vector<std::string> missing;
  for (const std::string& word : graph.words) {
    if (!isRecognisable(decoder_, word)) missing.push_back(word);
  }
  if (!missing.empty()) return GrammarProblem{missingWords(missing, model_.locale)};

  takeSphinxError();
  const std::vector<std::string> phones = phonesOf(model_.phones);
  logmath_t* logMath = ps_get_logmath(decoder_);
  const float lw = cmd_ln_float32_r(ps_get_config(decoder_), "-lw");
  const int loop = graph.stateCount;  // the phone loop's state, after the grammar's
  fsg_model_t* fsg = fsg_model_init(kSearchName, logMath, lw, graph.stateCount + 1);
  fsg->start_state = graph.start;
  fsg->final_state = graph.final;
  for (const GrammarArc& arc : graph.arcs) {
    const int32 weight = engineLog(logMath, lw, arc.logProbability);
    if (arc.word < 0) {
      fsg_model_null_trans_add(fsg, arc.from, arc.to, weight);
    } else {
      const int word = fsg_model_word_add(fsg, graph.words[static_cast<std::size_t>(arc.word)].c_str());
      fsg_model_trans_add(fsg, arc.from, arc.to, weight, word);
    }
  }
  // The phone loop: from the start, one phone or more, then the end.
  const int32 phoneCost = engineLog(logMath, lw, std::log(kRejectionPhoneCost));
  for (const std::string& phone : phones) {
    const std::string word = std::string(kRejectionWordPrefix) + phone + ">";
    if (ps_add_word(decoder_, word.c_str(), phone.c_str(), FALSE) < 0) continue;
    const int id = fsg_model_word_add(fsg, word.c_str());
    fsg_model_trans_add(fsg, graph.start, loop, phoneCost, id);
    fsg_model_trans_add(fsg, loop, loop, phoneCost, id);
    rejecting_ = true;
  }
  if (rejecting_) fsg_model_null_trans_add(fsg, loop, graph.final, 0);

  const bool ready = ps_set_fsg(decoder_, kSearchName, fsg) == 0 && ps_set_search(decoder_, kSearchName) == 0;
  fsg_model_free(fsg);  // the search keeps its own reference
  if (ready) return std::nullopt;
  std::string reason = takeSphinxError();
  return GrammarProblem{"could not be made ready for recognition" + (reason.empty() ? std::string() : ": " + reason)};
}

}  // namespace speech_bridge
