// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "grammar/grammar_graph.h"

namespace speech_bridge {

// One part of a rule's right-hand side.
struct JsgfExpansion {
  enum class Kind {
    word,           // `text`, lower case
    ruleReference,  // `text`: the rule's name without angle brackets
    sequence,       // `children` one after the other; none: <NULL>
    alternatives,   // one of `children`, each with its weight if the grammar gives weights; none: <VOID>
    optional,       // [ children[0] ]
    zeroOrMore,     // children[0] *
    oneOrMore,      // children[0] +
  };
  Kind kind = Kind::sequence;
  std::string text;
  std::vector<JsgfExpansion> children;
  std::vector<double> weights;  // empty, or one per alternative
  std::vector<std::string> tags;  // the tags that follow this item ("x {a} {b}"), as written
  int line = 0;
};

struct JsgfRule {
  std::string name;
  bool isPublic = false;
  JsgfExpansion expansion;
  int line = 0;
};

struct JsgfGrammar {
  std::string name;
  std::vector<JsgfRule> rules;  // in the order the file defines them
};

// Groups and options nest at most this deep; deeper grammars are refused
// rather than parsed by ever deeper recursion.
inline constexpr int kMaxJsgfNesting = 32;

// Parses JSGF 1.0 text (UTF-8, starting with "#JSGF", perhaps after a byte
// order mark). Tags are kept with the item they follow; imports are
// refused. Words are folded to lower case.
std::variant<JsgfGrammar, GrammarProblem> parseJsgf(std::string_view text);

}  // namespace speech_bridge
