// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <variant>

#include "grammar/grammar_graph.h"

namespace speech_bridge {

// The bytes of the regular file at `path`, at most `mostBytes` of them, or
// what is wrong with it ("does not exist", "is larger than 1 MiB", ...), as a
// phrase to follow the file's name. Never blocks on a pipe or device: only
// regular files are read. `tooLarge` is the phrase for a file over the limit.
std::variant<std::string, GrammarProblem> readTextFile(const std::string& path, std::size_t mostBytes,
                                                       const std::string& tooLarge);

}  // namespace speech_bridge
