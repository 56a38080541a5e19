// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "grammar/sentence_parser.h"

namespace speech_bridge {

// Why a grammar was refused: a phrase to follow the file's name ("has a JSGF
// syntax error on line 3: ...").
struct GrammarProblem {
  std::string description;
};

// One step of a grammar graph: a word, or a null arc that takes no word.
struct GrammarArc {
  int from = 0;
  int to = 0;
  int word = -1;                // index into GrammarGraph::words; -1 for a null arc
  double logProbability = 0.0;  // natural log; 0 unless the grammar weighs its alternatives
};

// The sentences of a grammar as a finite-state graph: every path from `start`
// to `final` spells one sentence. Every state lies on such a path, nothing
// leaves `final`, and null arcs are closed transitively (a state has a direct
// null arc to every state a chain of them reaches), so a search that follows
// one null arc at a time misses nothing.
struct GrammarGraph {
  int stateCount = 0;
  int start = 0;
  int final = 0;
  std::vector<std::string> words;  // distinct, lower case, in the order the grammar first uses them
  std::vector<GrammarArc> arcs;
  // The words that the grammar writes all in capitals somewhere ("FTL" gives "ftl").
  std::unordered_set<std::string> writtenInCapitals;
  // Which rules and tags a sentence passed through; never null once built.
  std::shared_ptr<const SentenceParser> parser;
};

// True when `words` spell a sentence of the graph: a path from start to
// final. Linear in the graph and the words.
bool isSentenceOf(const GrammarGraph& graph, const std::vector<std::string>& words);

// Builds a GrammarGraph within a budget, so that no grammar, however it
// nests or repeats its rules, takes more memory or time than a grammar of
// several thousand phrases. Once an addition would cross the budget the
// builder is spent: it ignores what follows and finish() gives nothing.
class GrammarGraphBuilder {
 public:
  // States and arcs, counting the null arcs that closing adds.
  static constexpr std::size_t kMaxStates = 100000;
  static constexpr std::size_t kMaxArcs = 200000;

  GrammarGraphBuilder();

  int start() const { return 0; }
  int final() const { return 1; }

  // A new state, or nothing once the budget is spent.
  std::optional<int> addState();
  // False once the budget is spent. The word as the grammar writes it; the
  // graph has it in lower case.
  bool addWord(int from, int to, std::string_view word, double logProbability = 0.0);
  bool addNull(int from, int to, double logProbability = 0.0);
  // A null arc that records where a rule begins or ends, or a tag. The
  // search never sees marks; the sentence parser does.
  bool addMark(int from, int to, GrammarMark mark);

  bool spent() const { return spent_; }

  // Why finish() gave nothing.
  enum class Failure { none, overBudget, noSentence };

  // Drops what leads nowhere, folds away null arcs that only join two
  // states, closes the rest and numbers the states afresh; the parser keeps
  // the graph as built, with its marks (a graph without marks is a phrase
  // list's). Once.
  std::optional<GrammarGraph> finish();
  Failure failure() const { return failure_; }
  // What is wrong, once finish() gave nothing.
  GrammarProblem problem() const;

 private:
  bool charge(std::size_t states, std::size_t arcs);

  std::size_t states_ = 2;
  std::vector<GrammarArc> arcs_;
  std::vector<int> arcMarks_;  // one per arc: index into marks_, or -1
  std::vector<GrammarMark> marks_;
  std::vector<std::string> words_;
  std::unordered_map<std::string, int> wordIds_;
  std::unordered_set<std::string> writtenInCapitals_;
  bool spent_ = false;
  Failure failure_ = Failure::none;
};

}  // namespace speech_bridge
