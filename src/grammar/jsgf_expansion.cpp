// SPDX-License-Identifier: GPL-3.0-or-later
#include "grammar/jsgf_expansion.h"

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

#include "grammar/grammar_text.h"

namespace speech_bridge {
namespace {

constexpr std::size_t kNotAtEnd = SIZE_MAX;

std::string onLine(int line) { return "on line " + std::to_string(line); }

class Expander {
 public:
  Expander(const JsgfGrammar& grammar, GrammarGraphBuilder& graph) : graph_(graph) {
    for (const JsgfRule& rule : grammar.rules) rules_.emplace(rule.name, &rule);
  }

  // Expands `expansion` so that the paths from `from` to `to` spell what it
  // matches. `atEndOf`: the first rule instance on the stack that this place
  // ends (and every one above it); kNotAtEnd when words may follow it. False
  // once there is a problem or the graph's budget is spent.
  bool expand(const JsgfExpansion& expansion, int from, int to, std::size_t atEndOf, int depth) {
    if (depth > kMaxJsgfExpansionDepth) {
      return refuse("nests rules and groups more than " + std::to_string(kMaxJsgfExpansionDepth) + " deep " +
                    onLine(expansion.line));
    }
    if (expansion.tags.empty()) return expandItem(expansion, from, to, atEndOf, depth);
    // The item, then its tags one after the other. (A right-recursive
    // reference that tags follow goes on as the rule begins: its tags are
    // not met, as nothing after the reference is.)
    const std::optional<int> tagged = graph_.addState();
    if (!tagged || !expandItem(expansion, from, *tagged, atEndOf, depth)) return false;
    int here = *tagged;
    for (std::size_t i = 0; i < expansion.tags.size(); ++i) {
      const std::optional<int> next = i + 1 == expansion.tags.size() ? std::optional<int>(to) : graph_.addState();
      if (!next || !graph_.addMark(here, *next, {GrammarMark::Kind::tag, trimmed(expansion.tags[i]), 0})) return false;
      here = *next;
    }
    return true;
  }

  bool expandItem(const JsgfExpansion& expansion, int from, int to, std::size_t atEndOf, int depth) {
    switch (expansion.kind) {
      case JsgfExpansion::Kind::word:
        return graph_.addWord(from, to, expansion.text);
      case JsgfExpansion::Kind::sequence:
        return expandSequence(expansion, from, to, atEndOf, depth);
      case JsgfExpansion::Kind::alternatives:
        return expandAlternatives(expansion, from, to, atEndOf, depth);
      case JsgfExpansion::Kind::optional:
        return expand(expansion.children.front(), from, to, atEndOf, depth + 1) && graph_.addNull(from, to);
      case JsgfExpansion::Kind::zeroOrMore: {
        // A state of the loop's own: anything else leaving `from` must not
        // be reachable after a round of the loop.
        const std::optional<int> loop = graph_.addState();
        return loop && graph_.addNull(from, *loop) &&
               expand(expansion.children.front(), *loop, *loop, kNotAtEnd, depth + 1) && graph_.addNull(*loop, to);
      }
      case JsgfExpansion::Kind::oneOrMore: {
        const std::optional<int> begin = graph_.addState();
        const std::optional<int> end = graph_.addState();
        return begin && end && graph_.addNull(from, *begin) &&
               expand(expansion.children.front(), *begin, *end, kNotAtEnd, depth + 1) && graph_.addNull(*end, *begin) &&
               graph_.addNull(*end, to);
      }
      case JsgfExpansion::Kind::ruleReference:
        return expandReference(expansion, from, to, atEndOf, depth);
    }
    return false;
  }

  bool refuse(std::string description) {
    if (!problem_) problem_ = GrammarProblem{std::move(description)};
    return false;
  }

  const std::optional<GrammarProblem>& problem() const { return problem_; }

 private:
  struct Instance {
    const JsgfRule* rule;
    int entry;  // a state of this instance's own, where its sentences begin
    int id;     // tells this instance's marks from those of other places of the rule
  };

  // A tag's text without the white space around it.
  static std::string trimmed(const std::string& tag) {
    const std::size_t first = tag.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    return tag.substr(first, tag.find_last_not_of(" \t\r\n") - first + 1);
  }

  bool expandSequence(const JsgfExpansion& sequence, int from, int to, std::size_t atEndOf, int depth) {
    if (sequence.children.empty()) return graph_.addNull(from, to);  // <NULL>
    int here = from;
    for (std::size_t i = 0; i < sequence.children.size(); ++i) {
      const bool last = i + 1 == sequence.children.size();
      std::optional<int> next = last ? std::optional<int>(to) : graph_.addState();
      if (!next || !expand(sequence.children[i], here, *next, last ? atEndOf : kNotAtEnd, depth + 1)) return false;
      here = *next;
    }
    return true;
  }

  bool expandAlternatives(const JsgfExpansion& alternatives, int from, int to, std::size_t atEndOf, int depth) {
    double total = 0.0;
    for (const double weight : alternatives.weights) total += weight;
    for (std::size_t i = 0; i < alternatives.children.size(); ++i) {
      const JsgfExpansion& alternative = alternatives.children[i];
      if (alternatives.weights.empty()) {
        if (!expand(alternative, from, to, atEndOf, depth + 1)) return false;
        continue;
      }
      // A weight of 0 takes the alternative out.
      if (!(alternatives.weights[i] > 0.0)) continue;
      const std::optional<int> entry = graph_.addState();
      if (!entry || !graph_.addNull(from, *entry, std::log(alternatives.weights[i] / total)) ||
          !expand(alternative, *entry, to, atEndOf, depth + 1)) {
        return false;
      }
    }
    return true;
  }

  bool expandReference(const JsgfExpansion& reference, int from, int to, std::size_t atEndOf, int depth) {
    const auto found = rules_.find(reference.text);
    if (found == rules_.end()) {
      return refuse("refers to the undefined rule <" + shortened(reference.text) + "> " + onLine(reference.line));
    }
    for (std::size_t i = stack_.size(); i-- > 0;) {
      if (stack_[i].rule != found->second) continue;
      if (atEndOf == kNotAtEnd || i < atEndOf) {
        return refuse("refers to the rule <" + shortened(reference.text) + "> inside itself " + onLine(reference.line) +
                      ", which only a rule's very last item may do");
      }
      // Right recursion: the sentence goes on as the rule's sentences begin.
      return graph_.addMark(from, stack_[i].entry, {GrammarMark::Kind::enterRuleAgain, reference.text, stack_[i].id});
    }
    const int id = nextInstance_++;
    const std::optional<int> entry = graph_.addState();
    const std::optional<int> exit = graph_.addState();
    if (!entry || !exit || !graph_.addMark(from, *entry, {GrammarMark::Kind::enterRule, reference.text, id})) {
      return false;
    }
    stack_.push_back({found->second, *entry, id});
    const bool expanded =
        expand(found->second->expansion, *entry, *exit, std::min(atEndOf, stack_.size() - 1), depth + 1);
    stack_.pop_back();
    return expanded && graph_.addMark(*exit, to, {GrammarMark::Kind::exitRule, reference.text, id});
  }

  GrammarGraphBuilder& graph_;
  std::unordered_map<std::string, const JsgfRule*> rules_;
  std::vector<Instance> stack_;
  int nextInstance_ = 0;
  std::optional<GrammarProblem> problem_;
};

}  // namespace

std::variant<GrammarGraph, GrammarProblem> expandJsgf(const JsgfGrammar& grammar) {
  GrammarGraphBuilder graph;
  Expander expander(grammar, graph);
  bool anyPublic = false;
  for (const JsgfRule& rule : grammar.rules) {
    if (!rule.isPublic) continue;
    anyPublic = true;
    JsgfExpansion reference{JsgfExpansion::Kind::ruleReference, rule.name, {}, {}, {}, rule.line};
    if (!expander.expand(reference, graph.start(), graph.final(), kNotAtEnd, 0)) break;
  }
  if (expander.problem()) return *expander.problem();
  if (!anyPublic) return GrammarProblem{"holds no sentence: it has no public rule"};
  std::optional<GrammarGraph> finished = graph.finish();
  if (finished) return std::move(*finished);
  if (graph.failure() == GrammarGraphBuilder::Failure::noSentence) {
    return GrammarProblem{"holds no sentence: its public rules match nothing"};
  }
  return graph.problem();
}

}  // namespace speech_bridge
