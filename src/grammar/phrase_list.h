// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>
#include <variant>

#include "grammar/grammar_graph.h"

namespace speech_bridge {

// A list of phrases, one a line, as a graph: each phrase is a sentence.
// Blank lines and lines whose first character other than white space is "#"
// are skipped; words are folded to lower case. Phrases that begin alike
// share their beginning, so a long list stays quick to search.
std::variant<GrammarGraph, GrammarProblem> compilePhraseList(std::string_view text);

}  // namespace speech_bridge
