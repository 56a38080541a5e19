// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "grammar/rule_match.h"

namespace speech_bridge {

// What a null arc of a grammar's graph records about the rules around it.
struct GrammarMark {
  enum class Kind {
    enterRule,       // an instance of the rule `text` begins
    enterRuleAgain,  // the rule `text` begins again at the end of itself (right recursion)
    exitRule,        // the instance ends
    tag,             // the tag `text`, in the innermost rule's own expansion
  };
  Kind kind = Kind::tag;
  std::string text;
  int instance = 0;  // which place of the grammar the rule was put in
};

// One step of the graph as the grammar's reader built it, before folding.
struct MarkedArc {
  int from = 0;
  int to = 0;
  int word = -1;  // index into the words; -1 for a null arc
  int mark = -1;  // index into the marks; -1 when the arc records nothing
};

// Finds which rules, and which tags, a sentence of a grammar passed through.
// Immutable once built, so one parser serves any number of threads.
class SentenceParser {
 public:
  // A phrase list: every sentence is one rule, "phrase".
  SentenceParser() = default;
  // A JSGF grammar's graph with its marks.
  SentenceParser(int stateCount, int start, int final, std::vector<std::string> words, std::vector<MarkedArc> arcs,
                 std::vector<GrammarMark> marks);

  // The rules of a path through the graph that spells `words`, in
  // pre-order (a rule before the rules inside it, siblings in word order),
  // each with the words it covered and its own tags. Empty when the words
  // are no sentence. Linear in the graph times the words. A sentence that
  // several paths spell always gets the same one of their parses.
  std::vector<RuleMatch> parse(const std::vector<std::string>& words) const;

 private:
  bool phraseList_ = true;
  int start_ = 0;
  int final_ = 0;
  std::vector<std::string> words_;
  std::vector<MarkedArc> arcs_;
  std::vector<GrammarMark> marks_;
  std::vector<std::vector<int>> leaving_;  // arc indices by source state, in the order they were added
};

}  // namespace speech_bridge
