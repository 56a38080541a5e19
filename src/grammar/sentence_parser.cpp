// SPDX-License-Identifier: GPL-3.0-or-later
#include "grammar/sentence_parser.h"

#include <unordered_map>

namespace speech_bridge {
namespace {

std::string joined(const std::vector<std::string>& words, std::size_t first, std::size_t end) {
  std::string text;
  for (std::size_t i = first; i < end; ++i) text += (i == first ? "" : " ") + words[i];
  return text;
}

// A rule instance on the way through a sentence.
struct OpenRule {
  std::size_t match;  // its entry in the result
  int instance;
  bool again;  // entered at the end of itself
  std::size_t firstWord;
};

}  // namespace

SentenceParser::SentenceParser(int stateCount, int start, int final, std::vector<std::string> words,
                               std::vector<MarkedArc> arcs, std::vector<GrammarMark> marks)
    : phraseList_(false),
      start_(start),
      final_(final),
      words_(std::move(words)),
      arcs_(std::move(arcs)),
      marks_(std::move(marks)),
      leaving_(static_cast<std::size_t>(stateCount)) {
  for (std::size_t i = 0; i < arcs_.size(); ++i) leaving_[static_cast<std::size_t>(arcs_[i].from)].push_back(static_cast<int>(i));
}

std::vector<RuleMatch> SentenceParser::parse(const std::vector<std::string>& words) const {
  if (words.empty()) return {};
  if (phraseList_) return {RuleMatch{"phrase", joined(words, 0, words.size()), std::nullopt}};
  std::unordered_map<std::string_view, int> ids;
  for (std::size_t i = 0; i < words_.size(); ++i) ids.emplace(words_[i], static_cast<int>(i));
  std::vector<int> wanted;
  for (const std::string& word : words) {
    const auto found = ids.find(word);
    if (found == ids.end()) return {};
    wanted.push_back(found->second);
  }
  // reached[p]: the states reached after p words, each with the arc that
  // first reached it (-1 for the start); order[p]: the same states in the
  // order they were reached, so that the parse is the same on every run.
  std::vector<std::unordered_map<int, int>> reached(words.size() + 1);
  std::vector<std::vector<int>> order(words.size() + 1);
  const auto reach = [&reached, &order](std::size_t p, int state, int via) {
    if (!reached[p].emplace(state, via).second) return false;
    order[p].push_back(state);
    return true;
  };
  // Along null arcs, breadth first, each state's arcs in the grammar's order.
  const auto close = [this, &order, &reach](std::size_t p) {
    for (std::size_t next = 0; next < order[p].size(); ++next) {
      for (const int index : leaving_[static_cast<std::size_t>(order[p][next])]) {
        const MarkedArc& arc = arcs_[static_cast<std::size_t>(index)];
        if (arc.word < 0) reach(p, arc.to, index);
      }
    }
  };
  reach(0, start_, -1);
  close(0);
  for (std::size_t p = 0; p < wanted.size(); ++p) {
    for (const int state : order[p]) {
      for (const int index : leaving_[static_cast<std::size_t>(state)]) {
        const MarkedArc& arc = arcs_[static_cast<std::size_t>(index)];
        if (arc.word == wanted[p]) reach(p + 1, arc.to, index);
      }
    }
    if (order[p + 1].empty()) return {};
    close(p + 1);
  }
  if (!reached[words.size()].contains(final_)) return {};

  // Back from the end to the start, then forwards through the marks.
  std::vector<int> path;
  std::size_t position = words.size();
  for (int state = final_;;) {
    const int index = reached[position].at(state);
    if (index < 0) break;
    path.push_back(index);
    const MarkedArc& arc = arcs_[static_cast<std::size_t>(index)];
    if (arc.word >= 0) --position;
    state = arc.from;
  }
  std::vector<RuleMatch> matches;
  std::vector<OpenRule> open;
  std::size_t wordsSoFar = 0;
  const auto closeTop = [&] {
    matches[open.back().match].text = joined(words, open.back().firstWord, wordsSoFar);
    open.pop_back();
  };
  for (auto step = path.rbegin(); step != path.rend(); ++step) {
    const MarkedArc& arc = arcs_[static_cast<std::size_t>(*step)];
    if (arc.word >= 0) ++wordsSoFar;
    if (arc.mark < 0) continue;
    const GrammarMark& mark = marks_[static_cast<std::size_t>(arc.mark)];
    switch (mark.kind) {
      case GrammarMark::Kind::enterRule:
      case GrammarMark::Kind::enterRuleAgain:
        open.push_back({matches.size(), mark.instance, mark.kind == GrammarMark::Kind::enterRuleAgain, wordsSoFar});
        matches.push_back({mark.text, {}, std::nullopt});
        break;
      case GrammarMark::Kind::tag:
        if (!open.empty() && !mark.text.empty()) {
          std::optional<std::string>& tag = matches[open.back().match].tag;
          tag = tag ? *tag + " " + mark.text : mark.text;
        }
        break;
      case GrammarMark::Kind::exitRule:
        // Ends the instance and whatever began at the end of it: a rule
        // entered again at its own end ends where its first entry does.
        while (!open.empty()) {
          const OpenRule top = open.back();
          closeTop();
          if (top.instance == mark.instance && !top.again) break;
        }
        break;
    }
  }
  while (!open.empty()) closeTop();
  return matches;
}

}  // namespace speech_bridge
