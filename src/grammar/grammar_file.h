// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "grammar/grammar_graph.h"

namespace speech_bridge {

// Larger files are refused unread: a grammar for spoken orders is far smaller.
inline constexpr std::size_t kMaxGrammarFileBytes = std::size_t{1} << 20;

// A grammar file made ready for a recognizer, or why it cannot be used.
struct CompiledGrammar {
  std::optional<GrammarGraph> graph;
  std::string error;  // one sentence naming the file, when `graph` is empty
};

// Reads and compiles the grammar file at `path`: JSGF 1.0 when it starts with
// "#JSGF" (perhaps after a byte order mark), otherwise a list of phrases, one
// a line. Never blocks on a pipe or device: only regular files are read.
// Any thread; touches nothing but the file.
CompiledGrammar compileGrammarFile(const std::string& path);

// The same for the file's content.
std::variant<GrammarGraph, GrammarProblem> compileGrammarText(std::string_view text);

// "The grammar file PATH " followed by the problem.
std::string grammarFileSentence(const std::string& path, const GrammarProblem& problem);

}  // namespace speech_bridge
