// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>

namespace speech_bridge {

// UTF-8 text as Flite is given it: U+0000, where Flite's C strings would end,
// becomes a space; and a stretch of more than kLongestFliteWord bytes without
// whitespace is cut by spaces (between characters), since Flite's
// letter-to-sound rules take time that grows with the square of a word's
// length (seconds for a word of 2,000 letters). Hardly a word of a language
// is that long.
constexpr std::size_t kLongestFliteWord = 32;
std::string textForFlite(const std::string& text);

}  // namespace speech_bridge
