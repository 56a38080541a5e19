// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace speech_bridge {

// The first line (counted from 1) that is not well-formed UTF-8 or holds a
// NUL, which no text of words does; nothing when every line is fine.
std::optional<int> firstLineThatIsNotText(std::string_view bytes);

// A word as the dictionaries write their entries: every letter in lower
// case ("North" -> "north", "ÉTÉ" -> "été"). Expects well-formed UTF-8.
std::string lowerCaseWord(std::string_view word);

// True when every letter of the word is a capital and it has one at least
// ("FTL", "B-52"): such a word the dictionary lacks is spelled out.
bool isWrittenInCapitals(std::string_view word);

// A word or name of a grammar as an error message quotes it: at most `most`
// bytes (whole characters), with "..." when cut, so that no message grows
// with whatever a file holds.
std::string shortened(std::string_view text, std::size_t most = 40);

// Spaces, tabs and the other ASCII separators that part words.
bool isWordSeparator(char c);

}  // namespace speech_bridge
