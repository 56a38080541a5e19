// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <variant>

#include "grammar/grammar_graph.h"
#include "grammar/jsgf_parser.h"

namespace speech_bridge {

// Rules and groups nest at most this deep once rules are put in place of
// their references.
inline constexpr int kMaxJsgfExpansionDepth = 200;

// The sentences of every public rule as one graph. A rule is put in place of
// each reference to it; a rule may refer to itself only at its very end
// (right recursion, a loop), which keeps the grammar finite-state.
std::variant<GrammarGraph, GrammarProblem> expandJsgf(const JsgfGrammar& grammar);

}  // namespace speech_bridge
