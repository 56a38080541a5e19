// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes as a --grammar file, read the way a recognition task reads it
// (the acoustic model stays out, to keep runs fast): every input must give
// one sentence about the file, or a graph that is well formed and that the
// engine takes as its finite-state grammar, and in which a sentence parses
// into its rules and tags. Phrase lists are checked against a plain reading:
// each phrase is a sentence. The same bytes are read as a --pronunciations
// file too: one sentence about the file, or entries that a recognizer can
// take (a word, its line, and phones of the model's set or words).
#include <sphinxbase/fsg_model.h>
#include <sphinxbase/logmath.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "grammar/grammar_file.h"
#include "grammar/grammar_text.h"
#include "grammar/pronunciation_file.h"
#include "platform/pocketsphinx/grammar_search.h"
#include "platform/pocketsphinx/sphinx_logging.h"

using namespace speech_bridge;

namespace {

std::string& filePath() {
  static std::string path;
  return path;
}

int& fileDescriptor() {
  static int descriptor = -1;
  return descriptor;
}

void removeFile() { ::unlink(filePath().c_str()); }

// States reachable from `from`, forwards or backwards along the arcs.
std::vector<bool> reach(const GrammarGraph& graph, int from, bool forwards) {
  std::vector<bool> seen(static_cast<std::size_t>(graph.stateCount), false);
  std::vector<int> pending{from};
  seen[static_cast<std::size_t>(from)] = true;
  while (!pending.empty()) {
    const int state = pending.back();
    pending.pop_back();
    for (const GrammarArc& arc : graph.arcs) {
      const int here = forwards ? arc.from : arc.to;
      const int there = forwards ? arc.to : arc.from;
      if (here == state && !seen[static_cast<std::size_t>(there)]) {
        seen[static_cast<std::size_t>(there)] = true;
        pending.push_back(there);
      }
    }
  }
  return seen;
}

// A sentence's parse: its rules in pre-order, the first covering every
// word, each covering a run of the words of the one it lies inside, and
// tags never empty.
void checkParse(const GrammarGraph& graph, const std::vector<std::string>& sentence) {
  FUZZ_CHECK(graph.parser != nullptr);
  const std::vector<RuleMatch> rules = graph.parser->parse(sentence);
  std::string text;
  for (const std::string& word : sentence) text += (text.empty() ? "" : " ") + word;
  if (sentence.empty()) {
    FUZZ_CHECK(rules.empty());
    return;
  }
  FUZZ_CHECK(!rules.empty() && rules.front().text == text);
  for (const RuleMatch& rule : rules) {
    FUZZ_CHECK(!rule.rule.empty());
    FUZZ_CHECK(text.find(rule.text) != std::string::npos);
    FUZZ_CHECK(!rule.tag || (!rule.tag->empty() && rule.tag->front() != ' ' && rule.tag->back() != ' '));
  }
}

void checkGraph(const GrammarGraph& graph) {
  FUZZ_CHECK(graph.stateCount >= 1 && static_cast<std::size_t>(graph.stateCount) <= GrammarGraphBuilder::kMaxStates);
  FUZZ_CHECK(graph.arcs.size() <= GrammarGraphBuilder::kMaxArcs);
  FUZZ_CHECK(graph.start >= 0 && graph.start < graph.stateCount && graph.final >= 0 && graph.final < graph.stateCount);
  for (const std::string& word : graph.words) {
    FUZZ_CHECK(!word.empty() && lowerCaseWord(word) == word);
    for (const char c : word) FUZZ_CHECK(!isWordSeparator(c) && c != '\0');
  }
  std::vector<std::vector<int>> nulls(static_cast<std::size_t>(graph.stateCount));
  for (const GrammarArc& arc : graph.arcs) {
    FUZZ_CHECK(arc.from >= 0 && arc.from < graph.stateCount && arc.to >= 0 && arc.to < graph.stateCount);
    FUZZ_CHECK(arc.word >= -1 && arc.word < static_cast<int>(graph.words.size()));
    FUZZ_CHECK(arc.from != graph.final);
    FUZZ_CHECK(arc.logProbability <= 0.0);
    if (arc.word < 0) nulls[static_cast<std::size_t>(arc.from)].push_back(arc.to);
  }
  // Closed: a chain of two null arcs has a null arc of its own.
  for (std::size_t a = 0; a < nulls.size(); ++a) {
    for (const int b : nulls[a]) {
      for (const int c : nulls[static_cast<std::size_t>(b)]) {
        if (static_cast<std::size_t>(c) == a) continue;
        bool direct = false;
        for (const int d : nulls[a]) direct = direct || d == c;
        FUZZ_CHECK(direct);
      }
    }
  }
  // Every state lies on a sentence's path.
  const std::vector<bool> fromStart = reach(graph, graph.start, true);
  const std::vector<bool> toFinal = reach(graph, graph.final, false);
  for (int state = 0; state < graph.stateCount; ++state) {
    FUZZ_CHECK(fromStart[static_cast<std::size_t>(state)] && toFinal[static_cast<std::size_t>(state)]);
  }
  // The shortest way through spells a sentence.
  std::vector<int> distance(static_cast<std::size_t>(graph.stateCount), -1);
  std::vector<const GrammarArc*> next(static_cast<std::size_t>(graph.stateCount), nullptr);
  distance[static_cast<std::size_t>(graph.final)] = 0;
  for (bool changed = true; changed;) {
    changed = false;
    for (const GrammarArc& arc : graph.arcs) {
      const int onward = distance[static_cast<std::size_t>(arc.to)];
      int& here = distance[static_cast<std::size_t>(arc.from)];
      if (onward >= 0 && (here < 0 || onward + 1 < here)) {
        here = onward + 1;
        next[static_cast<std::size_t>(arc.from)] = &arc;
        changed = true;
      }
    }
  }
  std::vector<std::string> sentence;
  for (int state = graph.start; state != graph.final;) {
    const GrammarArc* arc = next[static_cast<std::size_t>(state)];
    if (arc->word >= 0) sentence.push_back(graph.words[static_cast<std::size_t>(arc->word)]);
    state = arc->to;
  }
  FUZZ_CHECK(isSentenceOf(graph, sentence));
  checkParse(graph, sentence);

  // The engine takes it.
  logmath_t* logMath = logmath_init(1.0001, 0, 0);
  fsg_model_t* fsg = engineGrammar(graph, logMath, 6.5f, 2);
  FUZZ_CHECK(fsg != nullptr && fsg_model_n_state(fsg) == graph.stateCount + 2);
  fsg_model_free(fsg);
  logmath_free(logMath);
}

// A phrase list's every phrase is a sentence of it.
void checkPhrases(const std::string& text, const GrammarGraph& graph) {
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::vector<std::string> words;
    std::string word;
    for (std::size_t i = at; i <= end; ++i) {
      if (i == end || isWordSeparator(text[i])) {
        if (!word.empty()) words.push_back(lowerCaseWord(word));
        word.clear();
      } else {
        word += text[i];
      }
    }
    if (!words.empty() && words.front()[0] != '#') FUZZ_CHECK(isSentenceOf(graph, words));
    at = end + 1;
  }
}

constexpr const char* kPhones = "AA AE AH AO AW AY B CH D DH EH ER EY F G HH IH IY JH K L M N NG OW OY P R S SH T TH "
                                "UH UW V W Y Z ZH";

// `text`: the file's bytes.
void checkPronunciations(const std::string& path, std::string_view text) {
  const HostPronunciations read = readPronunciationFile(path, kPhones);
  if (!read.error.empty()) {
    const std::string prefix = "The pronunciation file " + path + " ";
    FUZZ_CHECK(read.entries.empty() && read.error.rfind(prefix, 0) == 0 && read.error.size() > prefix.size());
    FUZZ_CHECK(read.error.size() < prefix.size() + 300 && read.error.find('\n') == std::string::npos);
    return;
  }
  std::vector<std::string_view> lines;
  for (std::size_t at = 0; at <= text.size();) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  const std::string phones = std::string(" ") + kPhones + " ";
  int line = 0;
  for (const HostPronunciation& entry : read.entries) {
    FUZZ_CHECK(entry.line > line && static_cast<std::size_t>(entry.line) <= lines.size());
    line = entry.line;
    // Only a line whose first character is "#" is a comment: an indented one is an entry.
    FUZZ_CHECK(!lines[static_cast<std::size_t>(entry.line) - 1].starts_with("#"));
    FUZZ_CHECK(!entry.word.empty() && lowerCaseWord(entry.word) == entry.word);
    FUZZ_CHECK(!entry.sounds.empty());
    for (const std::string& sound : entry.sounds) {
      FUZZ_CHECK(!sound.empty());
      for (const char c : sound) FUZZ_CHECK(!isWordSeparator(c) && c != '\0');
      if (entry.phones) FUZZ_CHECK(phones.find(" " + sound + " ") != std::string::npos);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  silenceSphinxLogging();
  // In the working folder: run_fuzzer.sh runs each target in a scratch folder.
  std::string path = "grammar-XXXXXX";
  fileDescriptor() = ::mkstemp(path.data());
  FUZZ_CHECK(fileDescriptor() >= 0);
  filePath() = std::filesystem::absolute(path).string();
  std::atexit(removeFile);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FUZZ_CHECK(::ftruncate(fileDescriptor(), 0) == 0);
  FUZZ_CHECK(::pwrite(fileDescriptor(), data, size, 0) == static_cast<ssize_t>(size));
  checkPronunciations(filePath(), std::string_view(reinterpret_cast<const char*>(data), size));
  const CompiledGrammar grammar = compileGrammarFile(filePath());
  FUZZ_CHECK(grammar.graph.has_value() == grammar.error.empty());
  if (!grammar.graph) {
    const std::string prefix = "The grammar file " + filePath() + " ";
    FUZZ_CHECK(grammar.error.rfind(prefix, 0) == 0 && grammar.error.size() > prefix.size());
    FUZZ_CHECK(grammar.error.size() < prefix.size() + 300);  // no message grows with the file
    FUZZ_CHECK(grammar.error.find('\n') == std::string::npos);
    return 0;
  }
  checkGraph(*grammar.graph);
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string body = text.rfind("\xEF\xBB\xBF", 0) == 0 ? text.substr(3) : text;
  if (body.rfind("#JSGF", 0) != 0) checkPhrases(body, *grammar.graph);
  return 0;
}
