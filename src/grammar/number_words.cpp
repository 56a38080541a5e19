// SPDX-License-Identifier: GPL-3.0-or-later
#include "grammar/number_words.h"

#include <array>

namespace speech_bridge {
namespace {

constexpr std::array<const char*, 20> kUnits = {
    "zero", "one",    "two",    "three",    "four",     "five",    "six",     "seven",     "eight",    "nine",
    "ten",  "eleven", "twelve", "thirteen", "fourteen", "fifteen", "sixteen", "seventeen", "eighteen", "nineteen"};
constexpr std::array<const char*, 10> kTens = {"",      "",      "twenty",  "thirty", "forty",
                                               "fifty", "sixty", "seventy", "eighty", "ninety"};

// 1 to 999.
void sayBelowThousand(int number, std::vector<std::string>& words) {
  if (number >= 100) {
    words.emplace_back(kUnits[static_cast<std::size_t>(number / 100)]);
    words.emplace_back("hundred");
    number %= 100;
  }
  if (number >= 20) {
    words.emplace_back(kTens[static_cast<std::size_t>(number / 10)]);
    number %= 10;
  }
  if (number > 0) words.emplace_back(kUnits[static_cast<std::size_t>(number)]);
}

}  // namespace

std::optional<std::vector<std::string>> numberWords(std::string_view token) {
  if (token.empty()) return std::nullopt;
  for (const char c : token) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  std::vector<std::string> words;
  if (token.size() > 6 || (token.size() > 1 && token.front() == '0')) {
    for (const char c : token) words.emplace_back(kUnits[static_cast<std::size_t>(c - '0')]);
    return words;
  }
  const int number = std::stoi(std::string(token));
  if (number == 0) return std::vector<std::string>{kUnits[0]};
  if (number >= 1000) {
    sayBelowThousand(number / 1000, words);
    words.emplace_back("thousand");
  }
  if (number % 1000 > 0) sayBelowThousand(number % 1000, words);
  return words;
}

}  // namespace speech_bridge
