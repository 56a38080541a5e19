// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>

namespace speech_bridge {

// UTF-8 text as an engine that reads C strings is given it (Flite, Festival):
// U+0000, where a C string would end, becomes a space; and a stretch of more
// than kLongestEngineWord bytes without whitespace is cut by spaces (between
// characters), since letter-to-sound rules take time that grows with the
// square of a word's length (seconds for a word of 2,000 letters), and
// Festival's take memory too. Hardly a word of a language is that long.
constexpr std::size_t kLongestEngineWord = 32;
std::string textForEngine(const std::string& text);

}  // namespace speech_bridge
