// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "grammar/grammar_graph.h"
#include "platform/pocketsphinx/pronunciations.h"
#include "platform/pocketsphinx/speech_model.h"
#include "platform/word_reader.h"

namespace speech_bridge {

// Who reads the words that no other rule pronounces, in order: each gives a
// pronunciation of its own where it has one.
using WordReaders = std::vector<std::reference_wrapper<WordReader>>;

// The pronunciations of a grammar's words, or one sentence naming the file
// that keeps the grammar from being used.
struct GrammarPronunciations {
  std::unordered_map<std::string, std::vector<Pronunciation>> found;  // every word of the graph, when no error
  std::string error;
};

// Finds every word of the graph a pronunciation, from the first of these
// that has one:
//  1. the host's pronunciation file, when one is given (all its entries);
//  2. the model's dictionary (all its pronunciations);
//  3. a token of digits: its number words ("42": forty two);
//  4. a word that the grammar writes in capitals: its letters' names ("FTL");
//  5. a word with hyphens: its parts one after the other ("x-wing");
//  6. a word of letters (accents dropped, apostrophes skipped): each
//     reader's reading (the program's: Flite's CMU lexicon, which falls back
//     on letter-to-sound rules, then eSpeak NG's as an alternate where the
//     two differ).
// The words that several words make (number words, parts, the host's
// "sounds like" words) give each their first pronunciation. Fails on a
// pronunciation file that cannot be used, or a word that no rule
// pronounces (punctuation, "<sil>"). Any thread.
GrammarPronunciations pronounceGrammarWords(const SpeechModel& model, const GrammarGraph& graph,
                                            const std::string& grammarFile,
                                            const std::optional<std::string>& pronunciationFile,
                                            const WordReaders& readers);

}  // namespace speech_bridge
