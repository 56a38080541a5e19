// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace speech_bridge {

// True when `bytes` are well-formed UTF-8 (no overlong forms, surrogates or
// code points above U+10FFFF).
bool isWellFormedUtf8(std::string_view bytes);

// Decodes `bytes` as UTF-8, replacing each maximal ill-formed subsequence with
// U+FFFD, and returns well-formed UTF-8.
std::string decodeUtf8WithReplacement(std::string_view bytes);

// User-perceived characters: extended grapheme clusters of well-formed UTF-8.
std::size_t graphemeClusterCount(std::string_view text);

// Removes, at both ends, whitespace and newlines: general category Z, U+0009
// to U+000D and U+0085. Expects well-formed UTF-8.
std::string_view trimWhitespaceAndNewlines(std::string_view text);

// True when both texts are the same after canonical composition (NFC).
bool canonicallyEquivalent(std::string_view a, std::string_view b);

}  // namespace speech_bridge
