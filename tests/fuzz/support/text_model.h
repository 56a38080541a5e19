// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace speech_bridge::fuzz {

// A second, deliberately plain reading of text, written apart from the
// program's own helpers so that the targets can compare the two.

// The code points of well-formed UTF-8, or nothing when any sequence is
// ill-formed (overlong, a surrogate, above U+10FFFF, cut short).
std::optional<std::u32string> decodeStrictUtf8(std::string_view bytes);

// Unicode general category Z, U+0009 to U+000D and U+0085.
bool isWhitespaceOrNewline(char32_t c);

// `text` without whitespace and newlines at either end.
std::u32string trimmed(const std::u32string& text);

// What a control line asks for, read from its bytes.
enum class ControlLine { stop, cancel, blank, unknown };
ControlLine readControlLine(std::string_view line);

// User-perceived characters of ASCII text, where they are plain to count:
// every byte is one, except that CR LF is one together.
std::size_t asciiCharacterCount(std::string_view ascii);

bool isAscii(std::string_view bytes);

}  // namespace speech_bridge::fuzz
