// SPDX-License-Identifier: GPL-3.0-or-later
#include "grammar/grammar_text.h"

#include <utf8proc.h>

namespace speech_bridge {

std::optional<int> firstLineThatIsNotText(std::string_view bytes) {
  int line = 1;
  std::size_t at = 0;
  while (at < bytes.size()) {
    utf8proc_int32_t codePoint = 0;
    const utf8proc_ssize_t length = utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(bytes.data() + at),
                                                     static_cast<utf8proc_ssize_t>(bytes.size() - at), &codePoint);
    if (length <= 0 || codePoint == 0) return line;
    if (codePoint == '\n') ++line;
    at += static_cast<std::size_t>(length);
  }
  return std::nullopt;
}

std::string lowerCaseWord(std::string_view word) {
  std::string lower;
  lower.reserve(word.size());
  std::size_t at = 0;
  while (at < word.size()) {
    utf8proc_int32_t codePoint = 0;
    const utf8proc_ssize_t length = utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(word.data() + at),
                                                     static_cast<utf8proc_ssize_t>(word.size() - at), &codePoint);
    if (length <= 0) {  // not expected: callers pass checked text
      lower += word[at++];
      continue;
    }
    utf8proc_uint8_t encoded[4];
    const utf8proc_ssize_t written = utf8proc_encode_char(utf8proc_tolower(codePoint), encoded);
    lower.append(reinterpret_cast<const char*>(encoded), static_cast<std::size_t>(written));
    at += static_cast<std::size_t>(length);
  }
  return lower;
}

bool isWrittenInCapitals(std::string_view word) {
  bool capital = false;
  std::size_t at = 0;
  while (at < word.size()) {
    utf8proc_int32_t codePoint = 0;
    const utf8proc_ssize_t length = utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(word.data() + at),
                                                     static_cast<utf8proc_ssize_t>(word.size() - at), &codePoint);
    if (length <= 0) return false;
    if (utf8proc_toupper(codePoint) != codePoint) return false;  // a small letter
    capital = capital || utf8proc_tolower(codePoint) != codePoint;
    at += static_cast<std::size_t>(length);
  }
  return capital;
}

std::string shortened(std::string_view text, std::size_t most) {
  if (text.size() <= most) return std::string(text);
  std::size_t cut = most;
  // Not inside a character: UTF-8 continuation bytes are 10xxxxxx.
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return std::string(text.substr(0, cut)) + "...";
}

bool isWordSeparator(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

}  // namespace speech_bridge
