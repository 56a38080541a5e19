// SPDX-License-Identifier: GPL-3.0-or-later
#include "e2e/language_tag_syntax.h"

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace speech_bridge::e2e {
namespace {

// ASCII only: the grammar's ALPHA and DIGIT.
bool alpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool digit(char c) { return c >= '0' && c <= '9'; }
bool alphanum(char c) { return alpha(c) || digit(c); }

bool all(std::string_view s, bool (*test)(char)) { return std::all_of(s.begin(), s.end(), test); }
bool sized(std::string_view s, std::size_t least, std::size_t most) { return s.size() >= least && s.size() <= most; }

std::string lower(std::string_view s) {
  std::string result(s);
  for (char& c : result) c = alpha(c) ? static_cast<char>(c | 0x20) : c;
  return result;
}

// language = 2*3ALPHA / 5*8ALPHA (the reserved 4ALPHA and extlang left out)
bool isLanguage(std::string_view s) { return (sized(s, 2, 3) || sized(s, 5, 8)) && all(s, alpha); }
// script = 4ALPHA
bool isScript(std::string_view s) { return s.size() == 4 && all(s, alpha); }
// region = 2ALPHA / 3DIGIT
bool isRegion(std::string_view s) { return (s.size() == 2 && all(s, alpha)) || (s.size() == 3 && all(s, digit)); }
// variant = 5*8alphanum / (DIGIT 3alphanum)
bool isVariant(std::string_view s) {
  return (sized(s, 5, 8) && all(s, alphanum)) || (s.size() == 4 && digit(s[0]) && all(s, alphanum));
}
// singleton = DIGIT / ALPHA except "x"
bool isSingleton(std::string_view s) { return s.size() == 1 && alphanum(s[0]) && lower(s) != "x"; }

}  // namespace

bool isWellFormedLanguageTag(std::string_view tag) {
  std::vector<std::string_view> subtags;
  for (std::size_t start = 0;;) {
    const std::size_t end = std::min(tag.find('-', start), tag.size());
    subtags.push_back(tag.substr(start, end - start));
    if (end == tag.size()) break;
    start = end + 1;
  }
  std::size_t at = 0;
  const auto next = [&] { return at < subtags.size() ? subtags[at] : std::string_view{}; };

  if (!isLanguage(next())) return false;
  ++at;
  if (isScript(next())) ++at;
  if (isRegion(next())) ++at;
  std::set<std::string> variants;
  while (isVariant(next())) {
    if (!variants.insert(lower(next())).second) return false;
    ++at;
  }
  // extension = singleton 1*("-" (2*8alphanum))
  std::set<std::string> singletons;
  while (isSingleton(next())) {
    if (!singletons.insert(lower(next())).second) return false;
    ++at;
    std::size_t pieces = 0;
    for (; sized(next(), 2, 8) && all(next(), alphanum); ++at) ++pieces;
    if (pieces == 0) return false;
  }
  // privateuse = "x" 1*("-" (1*8alphanum))
  if (lower(next()) == "x") {
    ++at;
    std::size_t pieces = 0;
    for (; sized(next(), 1, 8) && all(next(), alphanum); ++at) ++pieces;
    if (pieces == 0) return false;
  }
  return at == subtags.size();
}

}  // namespace speech_bridge::e2e
