// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "grammar/grammar_graph.h"

namespace speech_bridge {

inline constexpr std::size_t kMaxPronunciationFileBytes = std::size_t{1} << 20;
inline constexpr std::size_t kMaxPronunciationLineBytes = 1000;

// One entry of a host's pronunciation file: "kestrel K EH1 S T R AH0 L", or
// "xqor zook or" (sounds like those words, one after the other).
struct HostPronunciation {
  std::string word;  // lower case, as the grammar's words are
  int line = 0;      // counted from 1
  bool phones = false;
  // Phones (upper case, stress dropped) when `phones`; otherwise the words,
  // as the line writes them, whose pronunciations are joined.
  std::vector<std::string> sounds;
};

// The entries of a pronunciation file's text, in the file's order, or what
// is wrong with it. One entry a line: a word, white space, then either
// phones of `phoneSet` (the model's phones, space-separated, upper case; in
// the file any letter case, with stress digits) or words. A right side
// whose every token is a phone is phones. Lines whose first character is
// "#" and blank lines are skipped; a UTF-8 byte order mark may begin it.
std::variant<std::vector<HostPronunciation>, GrammarProblem> parsePronunciations(std::string_view text,
                                                                                 std::string_view phoneSet);

// The host's pronunciations from the file at `path`, or one sentence naming
// the file when it cannot be used. Any thread; touches nothing but the file.
struct HostPronunciations {
  std::vector<HostPronunciation> entries;
  std::string error;
};
HostPronunciations readPronunciationFile(const std::string& path, std::string_view phoneSet);

// "The pronunciation file PATH " followed by the problem.
std::string pronunciationFileSentence(const std::string& path, const GrammarProblem& problem);

}  // namespace speech_bridge
