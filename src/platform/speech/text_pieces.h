// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace speech_bridge {

// How long a piece may grow. A piece ends with its sentence (at ".", "!",
// "?" or "…", closing quotes and brackets after them allowed, or at a line
// break); once it has `clauseWords` words, at the end of a clause too (after
// ",", ";" or ":", or before "and"); and at the latest after `mostWords` words
// or `mostBytes` bytes, at a word's end.
struct PieceLimits {
  std::size_t clauseWords;
  std::size_t mostWords;
  std::size_t mostBytes;
};

// For an engine that makes no sound of a piece before the whole piece is
// synthesised: the first piece is short, so that sound starts soon; the
// others are whole sentences, or long clauses, each synthesised while the one
// before is heard.
inline constexpr PieceLimits kFirstPieceLimits{3, 10, 80};
inline constexpr PieceLimits kLaterPieceLimits{12, 24, 160};

// The text's words, in order, in pieces: words of a piece are joined by one
// space, whitespace at the ends dropped; no piece is empty. Words are what
// whitespace (space, tab, line feed, carriage return) separates.
std::vector<std::string> piecesOfText(const std::string& text, const PieceLimits& first = kFirstPieceLimits,
                                      const PieceLimits& later = kLaterPieceLimits);

}  // namespace speech_bridge
