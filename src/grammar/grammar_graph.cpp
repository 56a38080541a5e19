// SPDX-License-Identifier: GPL-3.0-or-later
#include "grammar/grammar_graph.h"

#include <algorithm>
#include <functional>
#include <queue>
#include <tuple>

#include "grammar/grammar_text.h"

namespace speech_bridge {
namespace {

bool isPlainNull(const GrammarArc& arc) { return arc.word < 0 && arc.logProbability == 0.0; }

// States reachable from `from` along arcs, forwards or backwards.
std::vector<bool> reachable(std::size_t states, const std::vector<GrammarArc>& arcs, int from, bool forwards) {
  std::vector<std::vector<int>> next(states);
  for (const GrammarArc& arc : arcs) {
    if (forwards) {
      next[static_cast<std::size_t>(arc.from)].push_back(arc.to);
    } else {
      next[static_cast<std::size_t>(arc.to)].push_back(arc.from);
    }
  }
  std::vector<bool> seen(states, false);
  std::vector<int> pending{from};
  seen[static_cast<std::size_t>(from)] = true;
  while (!pending.empty()) {
    const int state = pending.back();
    pending.pop_back();
    for (const int other : next[static_cast<std::size_t>(state)]) {
      if (!seen[static_cast<std::size_t>(other)]) {
        seen[static_cast<std::size_t>(other)] = true;
        pending.push_back(other);
      }
    }
  }
  return seen;
}

// Where a folded state went; the state itself when it was kept.
class Folding {
 public:
  explicit Folding(std::size_t states) : into_(states) {
    for (std::size_t i = 0; i < states; ++i) into_[i] = static_cast<int>(i);
  }
  int find(int state) {
    while (into_[static_cast<std::size_t>(state)] != state) {
      into_[static_cast<std::size_t>(state)] = into_[static_cast<std::size_t>(into_[static_cast<std::size_t>(state)])];
      state = into_[static_cast<std::size_t>(state)];
    }
    return state;
  }
  // False, and nothing changes, where folding would close a circle.
  bool fold(int state, int into) {
    if (find(into) == state) return false;
    into_[static_cast<std::size_t>(state)] = find(into);
    return true;
  }

 private:
  std::vector<int> into_;
};

// A null arc whose target has no other way in only joins two states, and so
// does one that is its source's only way out: either way the two states
// become one. Grammars written for people have many of them (every group,
// rule and option opens one), and each costs the search work in every frame.
std::vector<GrammarArc> foldJoiningNulls(std::size_t states, std::vector<GrammarArc> arcs, int start, int final) {
  for (const bool forwards : {true, false}) {
    std::vector<int> degree(states, 0);
    for (const GrammarArc& arc : arcs) ++degree[static_cast<std::size_t>(forwards ? arc.to : arc.from)];
    Folding folding(states);
    for (const GrammarArc& arc : arcs) {
      const int joined = forwards ? arc.to : arc.from;
      const int kept = forwards ? arc.from : arc.to;
      if (!isPlainNull(arc) || joined == kept || joined == start || joined == final) continue;
      if (degree[static_cast<std::size_t>(joined)] == 1) folding.fold(joined, kept);
    }
    std::vector<GrammarArc> folded;
    folded.reserve(arcs.size());
    for (GrammarArc arc : arcs) {
      arc.from = folding.find(arc.from);
      arc.to = folding.find(arc.to);
      if (arc.word < 0 && arc.from == arc.to) continue;  // a null loop goes nowhere
      folded.push_back(arc);
    }
    arcs = std::move(folded);
  }
  return arcs;
}

// One arc per source, target and word, with the likeliest weight.
void removeDuplicates(std::vector<GrammarArc>& arcs) {
  const auto key = [](const GrammarArc& arc) { return std::tie(arc.from, arc.to, arc.word); };
  std::sort(arcs.begin(), arcs.end(), [&key](const GrammarArc& a, const GrammarArc& b) {
    if (key(a) != key(b)) return key(a) < key(b);
    return a.logProbability > b.logProbability;
  });
  arcs.erase(std::unique(arcs.begin(), arcs.end(),
                         [&key](const GrammarArc& a, const GrammarArc& b) { return key(a) == key(b); }),
             arcs.end());
}

}  // namespace

bool isSentenceOf(const GrammarGraph& graph, const std::vector<std::string>& words) {
  std::unordered_map<std::string_view, int> ids;
  for (std::size_t i = 0; i < graph.words.size(); ++i) ids.emplace(graph.words[i], static_cast<int>(i));
  std::vector<std::vector<const GrammarArc*>> leaving(static_cast<std::size_t>(graph.stateCount));
  for (const GrammarArc& arc : graph.arcs) leaving[static_cast<std::size_t>(arc.from)].push_back(&arc);
  // Null arcs are closed: one step along them reaches all they reach.
  const auto withNulls = [&leaving](std::vector<bool> states) {
    std::vector<bool> closed = states;
    for (std::size_t state = 0; state < states.size(); ++state) {
      if (!states[state]) continue;
      for (const GrammarArc* arc : leaving[state]) {
        if (arc->word < 0) closed[static_cast<std::size_t>(arc->to)] = true;
      }
    }
    return closed;
  };
  std::vector<bool> here(static_cast<std::size_t>(graph.stateCount), false);
  here[static_cast<std::size_t>(graph.start)] = true;
  here = withNulls(std::move(here));
  for (const std::string& word : words) {
    const auto found = ids.find(word);
    if (found == ids.end()) return false;
    std::vector<bool> next(here.size(), false);
    for (std::size_t state = 0; state < here.size(); ++state) {
      if (!here[state]) continue;
      for (const GrammarArc* arc : leaving[state]) {
        if (arc->word == found->second) next[static_cast<std::size_t>(arc->to)] = true;
      }
    }
    here = withNulls(std::move(next));
  }
  return here[static_cast<std::size_t>(graph.final)];
}

GrammarGraphBuilder::GrammarGraphBuilder() = default;

bool GrammarGraphBuilder::charge(std::size_t states, std::size_t arcs) {
  if (spent_ || states_ + states > kMaxStates || arcs_.size() + arcs > kMaxArcs) {
    spent_ = true;
    return false;
  }
  states_ += states;
  return true;
}

std::optional<int> GrammarGraphBuilder::addState() {
  if (!charge(1, 0)) return std::nullopt;
  return static_cast<int>(states_ - 1);
}

bool GrammarGraphBuilder::addWord(int from, int to, std::string_view written, double logProbability) {
  if (!charge(0, 1)) return false;
  std::string word = lowerCaseWord(written);
  if (isWrittenInCapitals(written)) writtenInCapitals_.insert(word);
  const auto [found, added] = wordIds_.try_emplace(word, static_cast<int>(words_.size()));
  if (added) words_.push_back(std::move(word));
  arcs_.push_back({from, to, found->second, logProbability});
  arcMarks_.push_back(-1);
  return true;
}

bool GrammarGraphBuilder::addNull(int from, int to, double logProbability) {
  if (!charge(0, 1)) return false;
  arcs_.push_back({from, to, -1, logProbability});
  arcMarks_.push_back(-1);
  return true;
}

bool GrammarGraphBuilder::addMark(int from, int to, GrammarMark mark) {
  if (!addNull(from, to)) return false;
  arcMarks_.back() = static_cast<int>(marks_.size());
  marks_.push_back(std::move(mark));
  return true;
}

std::optional<GrammarGraph> GrammarGraphBuilder::finish() {
  if (spent_) {
    failure_ = Failure::overBudget;
    return std::nullopt;
  }
  const auto onSomePath = [this](const std::vector<GrammarArc>& arcs) {
    const std::vector<bool> fromStart = reachable(states_, arcs, start(), true);
    const std::vector<bool> toFinal = reachable(states_, arcs, final(), false);
    std::vector<bool> kept(states_);
    for (std::size_t i = 0; i < states_; ++i) kept[i] = fromStart[i] && toFinal[i];
    return kept;
  };
  std::vector<bool> kept = onSomePath(arcs_);
  if (!kept[static_cast<std::size_t>(final())]) {
    failure_ = Failure::noSentence;
    return std::nullopt;
  }
  std::shared_ptr<const SentenceParser> parser;
  if (marks_.empty()) {
    parser = std::make_shared<SentenceParser>();
  } else {
    std::vector<MarkedArc> marked;
    marked.reserve(arcs_.size());
    for (std::size_t i = 0; i < arcs_.size(); ++i) {
      marked.push_back({arcs_[i].from, arcs_[i].to, arcs_[i].word, arcMarks_[i]});
    }
    parser = std::make_shared<SentenceParser>(static_cast<int>(states_), start(), final(), words_, std::move(marked),
                                              std::move(marks_));
  }
  std::vector<GrammarArc> arcs;
  for (const GrammarArc& arc : arcs_) {
    if (kept[static_cast<std::size_t>(arc.from)] && kept[static_cast<std::size_t>(arc.to)]) arcs.push_back(arc);
  }
  arcs_.clear();
  arcMarks_.clear();
  arcs = foldJoiningNulls(states_, std::move(arcs), start(), final());
  kept = onSomePath(arcs);

  // Closing: each state's null arcs lead straight to every state that a chain
  // of them reaches, with the likeliest chain's weight.
  std::vector<std::vector<const GrammarArc*>> nulls(states_);
  for (const GrammarArc& arc : arcs) {
    if (arc.word < 0) nulls[static_cast<std::size_t>(arc.from)].push_back(&arc);
  }
  std::vector<GrammarArc> closed;
  for (const GrammarArc& arc : arcs) {
    if (arc.word >= 0) closed.push_back(arc);
  }
  std::vector<double> best(states_, 1.0);  // 1: not reached
  std::vector<int> reached;
  for (std::size_t source = 0; source < states_; ++source) {
    if (nulls[source].empty()) continue;
    using Entry = std::pair<double, int>;
    std::priority_queue<Entry> pending;
    pending.push({0.0, static_cast<int>(source)});
    while (!pending.empty()) {
      const auto [weight, state] = pending.top();
      pending.pop();
      if (best[static_cast<std::size_t>(state)] <= 0.0) continue;
      best[static_cast<std::size_t>(state)] = weight;
      reached.push_back(state);
      for (const GrammarArc* arc : nulls[static_cast<std::size_t>(state)]) {
        if (best[static_cast<std::size_t>(arc->to)] > 0.0) pending.push({weight + arc->logProbability, arc->to});
      }
    }
    for (const int state : reached) {
      if (state != static_cast<int>(source)) {
        closed.push_back({static_cast<int>(source), state, -1, best[static_cast<std::size_t>(state)]});
      }
      best[static_cast<std::size_t>(state)] = 1.0;
    }
    reached.clear();
    if (closed.size() > kMaxArcs) {
      failure_ = Failure::overBudget;
      return std::nullopt;
    }
  }
  removeDuplicates(closed);

  std::vector<int> number(states_, -1);
  GrammarGraph graph;
  graph.parser = std::move(parser);
  graph.writtenInCapitals = std::move(writtenInCapitals_);
  for (std::size_t i = 0; i < states_; ++i) {
    if (kept[i]) number[i] = graph.stateCount++;
  }
  graph.start = number[static_cast<std::size_t>(start())];
  graph.final = number[static_cast<std::size_t>(final())];
  // Only words that some kept arc still carries, in their first order.
  std::vector<int> wordNumber(words_.size(), -1);
  for (GrammarArc& arc : closed) {
    if (!kept[static_cast<std::size_t>(arc.from)] || !kept[static_cast<std::size_t>(arc.to)]) continue;
    arc.from = number[static_cast<std::size_t>(arc.from)];
    arc.to = number[static_cast<std::size_t>(arc.to)];
    if (arc.word >= 0) wordNumber[static_cast<std::size_t>(arc.word)] = 0;
    graph.arcs.push_back(arc);
  }
  for (std::size_t i = 0; i < words_.size(); ++i) {
    if (wordNumber[i] < 0) continue;
    wordNumber[i] = static_cast<int>(graph.words.size());
    graph.words.push_back(std::move(words_[i]));
  }
  for (GrammarArc& arc : graph.arcs) {
    if (arc.word >= 0) arc.word = wordNumber[static_cast<std::size_t>(arc.word)];
  }
  return graph;
}

GrammarProblem GrammarGraphBuilder::problem() const {
  if (failure_ == Failure::noSentence) return {"holds no sentence: nothing it describes leads to a sentence's end"};
  return {"is too large to search: it expands to more than " + std::to_string(kMaxStates) + " states or " +
          std::to_string(kMaxArcs) + " transitions"};
}

}  // namespace speech_bridge
