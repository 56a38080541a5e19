// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/speech/engine_text.h"

namespace speech_bridge {
namespace {

// The engines' tokenizers split at these.
bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool continuesCharacter(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

std::string textForEngine(const std::string& text) {
  std::string result;
  result.reserve(text.size());
  std::size_t run = 0;  // bytes since the last space
  for (const char c : text) {
    if (c == '\0' || isSpace(c)) {
      result += c == '\0' ? ' ' : c;
      run = 0;
      continue;
    }
    if (run >= kLongestEngineWord && !continuesCharacter(c)) {
      result += ' ';
      run = 0;
    }
    result += c;
    ++run;
  }
  return result;
}

}  // namespace speech_bridge
