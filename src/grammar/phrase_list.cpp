// SPDX-License-Identifier: GPL-3.0-or-later
#include "grammar/phrase_list.h"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "grammar/grammar_text.h"

namespace speech_bridge {
namespace {

// The words as the line writes them (the graph makes them lower case).
std::vector<std::string> wordsOf(std::string_view line) {
  std::vector<std::string> words;
  std::size_t at = 0;
  while (at < line.size()) {
    while (at < line.size() && isWordSeparator(line[at])) ++at;
    std::size_t end = at;
    while (end < line.size() && !isWordSeparator(line[end])) ++end;
    if (end > at) words.emplace_back(line.substr(at, end - at));
    at = end;
  }
  return words;
}

}  // namespace

std::variant<GrammarGraph, GrammarProblem> compilePhraseList(std::string_view text) {
  GrammarGraphBuilder graph;
  // The prefix tree: where a state goes on with a word that more words follow.
  std::map<std::pair<int, std::string>, int> onward;
  std::set<std::pair<int, std::string>> ending;
  bool anyPhrase = false;
  std::size_t at = 0;
  while (at < text.size() && !graph.spent()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    const std::vector<std::string> words = wordsOf(text.substr(at, end - at));
    at = end + 1;
    if (words.empty() || words.front().starts_with("#")) continue;
    anyPhrase = true;
    int state = graph.start();
    for (std::size_t i = 0; i + 1 < words.size() && !graph.spent(); ++i) {
      const auto [found, added] = onward.try_emplace({state, lowerCaseWord(words[i])}, -1);
      if (added) {
        const std::optional<int> next = graph.addState();
        if (!next || !graph.addWord(state, *next, words[i])) break;
        found->second = *next;
      }
      state = found->second;
    }
    if (!graph.spent() && ending.insert({state, lowerCaseWord(words.back())}).second) {
      graph.addWord(state, graph.final(), words.back());
    }
  }
  if (!anyPhrase) return GrammarProblem{"holds no sentence: every line is blank or a comment"};
  std::optional<GrammarGraph> finished = graph.finish();
  if (finished) return std::move(*finished);
  return graph.problem();
}

}  // namespace speech_bridge
