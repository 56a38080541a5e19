// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/text_model.h"

#include <algorithm>

namespace speech_bridge::fuzz {

std::optional<std::u32string> decodeStrictUtf8(std::string_view bytes) {
  std::u32string text;
  for (std::size_t i = 0; i < bytes.size();) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    std::size_t length = 0;
    char32_t c = 0;
    char32_t smallest = 0;
    if (lead < 0x80) {
      length = 1, c = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2, c = lead & 0x1F, smallest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3, c = lead & 0x0F, smallest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4, c = lead & 0x07, smallest = 0x10000;
    } else {
      return std::nullopt;
    }
    if (i + length > bytes.size()) return std::nullopt;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      if ((next & 0xC0) != 0x80) return std::nullopt;
      c = c << 6 | (next & 0x3F);
    }
    if (c < smallest || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
    text.push_back(c);
    i += length;
  }
  return text;
}

bool isWhitespaceOrNewline(char32_t c) {
  if (c >= 0x09 && c <= 0x0D) return true;
  if (c >= 0x2000 && c <= 0x200A) return true;
  switch (c) {
    case 0x20: case 0x85: case 0xA0: case 0x1680: case 0x2028: case 0x2029: case 0x202F: case 0x205F:
    case 0x3000:
      return true;
    default:
      return false;
  }
}

std::u32string trimmed(const std::u32string& text) {
  const auto first = std::find_if_not(text.begin(), text.end(), isWhitespaceOrNewline);
  const auto last = std::find_if_not(text.rbegin(), text.rend(), isWhitespaceOrNewline).base();
  return first < last ? std::u32string(first, last) : std::u32string();
}

ControlLine readControlLine(std::string_view line) {
  // Ill-formed bytes read as U+FFFD, which is no whitespace: never a command, never blank.
  const std::optional<std::u32string> text = decodeStrictUtf8(line);
  if (!text) return ControlLine::unknown;
  const std::u32string command = trimmed(*text);
  if (command.empty()) return ControlLine::blank;
  if (command == U"stop") return ControlLine::stop;
  if (command == U"cancel") return ControlLine::cancel;
  return ControlLine::unknown;
}

std::size_t asciiCharacterCount(std::string_view ascii) {
  std::size_t count = ascii.size();
  for (std::size_t i = 0; i + 1 < ascii.size(); ++i) count -= ascii[i] == '\r' && ascii[i + 1] == '\n';
  return count;
}

bool isAscii(std::string_view bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace speech_bridge::fuzz
