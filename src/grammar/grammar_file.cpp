// SPDX-License-Identifier: GPL-3.0-or-later
#include "grammar/grammar_file.h"

#include "grammar/grammar_text.h"
#include "grammar/jsgf_expansion.h"
#include "grammar/jsgf_parser.h"
#include "grammar/phrase_list.h"
#include "grammar/text_file.h"

namespace speech_bridge {

std::variant<GrammarGraph, GrammarProblem> compileGrammarText(std::string_view text) {
  if (const std::optional<int> line = firstLineThatIsNotText(text)) {
    return GrammarProblem{"is not UTF-8 text (see line " + std::to_string(*line) + ")"};
  }
  std::string_view body = text;
  if (body.starts_with("\xEF\xBB\xBF")) body.remove_prefix(3);
  if (!body.starts_with("#JSGF")) return compilePhraseList(body);
  std::variant<JsgfGrammar, GrammarProblem> parsed = parseJsgf(text);
  if (const auto* problem = std::get_if<GrammarProblem>(&parsed)) return *problem;
  return expandJsgf(std::get<JsgfGrammar>(parsed));
}

std::string grammarFileSentence(const std::string& path, const GrammarProblem& problem) {
  return "The grammar file " + path + " " + problem.description;
}

CompiledGrammar compileGrammarFile(const std::string& path) {
  std::variant<std::string, GrammarProblem> read = readTextFile(path, kMaxGrammarFileBytes, "is larger than 1 MiB");
  if (const auto* problem = std::get_if<GrammarProblem>(&read))
    return {std::nullopt, grammarFileSentence(path, *problem)};
  std::variant<GrammarGraph, GrammarProblem> compiled = compileGrammarText(std::get<std::string>(read));
  if (const auto* problem = std::get_if<GrammarProblem>(&compiled)) {
    return {std::nullopt, grammarFileSentence(path, *problem)};
  }
  return {std::move(std::get<GrammarGraph>(compiled)), {}};
}

}  // namespace speech_bridge
