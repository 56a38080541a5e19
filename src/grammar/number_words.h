// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace speech_bridge {

// The English words that a token of ASCII digits is said as. A number from 0
// to 999999 written without leading zeros is said as the number: "3" three,
// "42" forty two, "1024" one thousand twenty four, "100" one hundred. Any
// other token of digits ("007", "1234567") is said digit by digit. Nothing
// for a token that is not all digits.
std::optional<std::vector<std::string>> numberWords(std::string_view token);

}  // namespace speech_bridge
