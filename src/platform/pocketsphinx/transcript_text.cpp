// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pocketsphinx/transcript_text.h"

#include <cctype>

namespace speech_bridge {
namespace {

bool isSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

bool enclosed(std::string_view token, std::string_view open, std::string_view close) {
  return token.size() >= open.size() + close.size() && token.substr(0, open.size()) == open &&
         token.substr(token.size() - close.size()) == close;
}

// "word(2)" -> "word"; a word that is only "(2)", or has no digits inside
// the parentheses, stays as it is.
std::string_view withoutPronunciationSuffix(std::string_view token) {
  if (token.size() < 4 || token.back() != ')') return token;
  const auto open = token.rfind('(');
  if (open == std::string_view::npos || open == 0 || open + 2 >= token.size()) return token;
  for (std::size_t i = open + 1; i + 1 < token.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(token[i]))) return token;
  }
  return token.substr(0, open);
}

}  // namespace

bool isFiller(std::string_view token) {
  return enclosed(token, "<", ">") || enclosed(token, "[", "]") || enclosed(token, "++", "++");
}

std::string readableTranscript(std::string_view hypothesis) {
  std::string text;
  std::size_t at = 0;
  while (at < hypothesis.size()) {
    while (at < hypothesis.size() && isSpace(hypothesis[at])) ++at;
    std::size_t end = at;
    while (end < hypothesis.size() && !isSpace(hypothesis[end])) ++end;
    const std::string_view token = hypothesis.substr(at, end - at);
    if (!token.empty() && !isFiller(token)) appendWords(text, withoutPronunciationSuffix(token));
    at = end;
  }
  return text;
}

void appendWords(std::string& text, std::string_view words) {
  if (words.empty()) return;
  if (!text.empty()) text += ' ';
  text += words;
}

}  // namespace speech_bridge
