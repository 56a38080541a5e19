// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pocketsphinx/pronunciations.h"

#include <algorithm>
#include <fstream>
#include <string_view>

#include "platform/pocketsphinx/transcript_text.h"

namespace speech_bridge {
namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// "read(2)" -> "read"; anything else as it is.
std::string_view baseWord(std::string_view entry) {
  if (entry.size() < 4 || entry.back() != ')') return entry;
  const std::size_t open = entry.rfind('(');
  if (open == std::string_view::npos || open == 0) return entry;
  const std::string_view number = entry.substr(open + 1, entry.size() - open - 2);
  if (number.empty() || !std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return entry;
  }
  return entry.substr(0, open);
}

}  // namespace

PronunciationLookup lookUpPronunciations(const std::string& dictionaryFile, const std::vector<std::string>& words) {
  PronunciationLookup lookup;
  for (const std::string& word : words) lookup.found.try_emplace(word);
  std::ifstream dictionary(dictionaryFile, std::ios::binary);
  if (!dictionary) {
    lookup.error = "The dictionary " + dictionaryFile + " cannot be read";
    return lookup;
  }
  std::string line;
  while (std::getline(dictionary, line)) {
    std::size_t end = 0;
    while (end < line.size() && !isSpace(line[end])) ++end;
    const std::string_view entry(line.data(), end);
    const auto wanted = lookup.found.find(std::string(baseWord(entry)));
    if (wanted == lookup.found.end()) continue;
    std::size_t start = end;
    while (start < line.size() && isSpace(line[start])) ++start;
    std::size_t stop = line.size();
    while (stop > start && isSpace(line[stop - 1])) --stop;
    if (start == stop) continue;
    wanted->second.push_back({std::string(entry), line.substr(start, stop - start)});
  }
  if (dictionary.bad()) {
    lookup.error = "The dictionary " + dictionaryFile + " cannot be read";
    return lookup;
  }
  for (const std::string& word : words) {
    std::vector<Pronunciation>& found = lookup.found[word];
    // The engine links "word(2)" to "word", which must come first.
    std::stable_sort(found.begin(), found.end(),
                     [](const Pronunciation& a, const Pronunciation& b) { return a.entry.size() < b.entry.size(); });
    const bool plain = !found.empty() && found.front().entry == word;
    if (!plain || readableTranscript(word).empty()) {
      lookup.found.erase(word);
      lookup.missing.push_back(word);
    }
  }
  return lookup;
}

}  // namespace speech_bridge
