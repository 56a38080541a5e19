// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/speech/text_pieces.h"

#include <algorithm>
#include <string_view>

namespace speech_bridge {
namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool endsWith(std::string_view word, std::string_view end) {
  return word.size() >= end.size() && word.substr(word.size() - end.size()) == end;
}

// Drops closing quotes and brackets from the end: "go." and (go.) end alike.
std::string_view withoutClosers(std::string_view word) {
  for (;;) {
    const std::size_t before = word.size();
    for (const std::string_view closer : {"\"", "'", ")", "]", "}", "\xE2\x80\x9D", "\xE2\x80\x99", "\xC2\xBB"}) {
      if (endsWith(word, closer)) word.remove_suffix(closer.size());
    }
    if (word.size() == before) return word;
  }
}

bool endsSentence(std::string_view word) {
  word = withoutClosers(word);
  return endsWith(word, ".") || endsWith(word, "!") || endsWith(word, "?") || endsWith(word, "\xE2\x80\xA6");
}

bool endsClause(std::string_view word) {
  word = withoutClosers(word);
  return endsWith(word, ",") || endsWith(word, ";") || endsWith(word, ":");
}

bool isAnd(std::string_view word) {
  return word.size() == 3 && (word[0] | 0x20) == 'a' && (word[1] | 0x20) == 'n' && (word[2] | 0x20) == 'd';
}

}  // namespace

std::vector<std::string> piecesOfText(const std::string& text, const PieceLimits& first, const PieceLimits& later) {
  std::vector<std::string> pieces;
  std::string piece;
  std::size_t words = 0;
  const auto end = [&] {
    if (!piece.empty()) pieces.push_back(std::move(piece));
    piece.clear();
    words = 0;
  };
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t start = std::find_if_not(text.begin() + at, text.end(), isSpace) - text.begin();
    if (start == text.size()) break;
    const std::size_t stop = std::find_if(text.begin() + start, text.end(), isSpace) - text.begin();
    const std::string_view word(text.data() + start, stop - start);
    const std::size_t nextStart = std::find_if_not(text.begin() + stop, text.end(), isSpace) - text.begin();
    const std::string_view gap(text.data() + stop, nextStart - stop);
    const std::size_t nextStop = std::find_if(text.begin() + nextStart, text.end(), isSpace) - text.begin();
    const std::string_view next(text.data() + nextStart, nextStop - nextStart);
    at = stop;

    const PieceLimits& limits = pieces.empty() ? first : later;
    if (!piece.empty()) piece += ' ';
    piece += word;
    ++words;
    const bool clauseMayEnd = words >= limits.clauseWords;
    if (endsSentence(word) || gap.find('\n') != std::string_view::npos ||
        (clauseMayEnd && (endsClause(word) || isAnd(next))) || words >= limits.mostWords ||
        piece.size() >= limits.mostBytes) {
      end();
    }
  }
  end();
  return pieces;
}

}  // namespace speech_bridge
