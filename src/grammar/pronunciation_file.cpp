// SPDX-License-Identifier: GPL-3.0-or-later
#include "grammar/pronunciation_file.h"

#include <algorithm>
#include <cctype>

#include "grammar/grammar_text.h"
#include "grammar/text_file.h"

namespace speech_bridge {
namespace {

std::vector<std::string_view> tokensOf(std::string_view line) {
  std::vector<std::string_view> tokens;
  std::size_t at = 0;
  while (at < line.size()) {
    while (at < line.size() && isWordSeparator(line[at])) ++at;
    std::size_t end = at;
    while (end < line.size() && !isWordSeparator(line[end])) ++end;
    if (end > at) tokens.push_back(line.substr(at, end - at));
    at = end;
  }
  return tokens;
}

// "ah0" -> "AH" when AH is a phone of the set; nothing otherwise.
std::optional<std::string> phoneOf(std::string_view token, const std::vector<std::string_view>& phoneSet) {
  if (token.size() > 1 && token.back() >= '0' && token.back() <= '9') token.remove_suffix(1);
  std::string phone;
  for (const char c : token) phone += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (std::find(phoneSet.begin(), phoneSet.end(), phone) == phoneSet.end()) return std::nullopt;
  return phone;
}

std::string onLine(int line) { return " on line " + std::to_string(line); }

}  // namespace

std::variant<std::vector<HostPronunciation>, GrammarProblem> parsePronunciations(std::string_view text,
                                                                                 std::string_view phoneSet) {
  const std::vector<std::string_view> phones = tokensOf(phoneSet);
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  std::vector<HostPronunciation> entries;
  int number = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = std::min(text.find('\n', at), text.size());
    std::string_view line = text.substr(at, end - at);
    at = end + 1;
    ++number;
    if (line.size() > kMaxPronunciationLineBytes) {
      return GrammarProblem{"has a line longer than " + std::to_string(kMaxPronunciationLineBytes) + " bytes" +
                            onLine(number)};
    }
    if (line.find('\0') != std::string_view::npos) return GrammarProblem{"has a NUL byte" + onLine(number)};
    if (firstLineThatIsNotText(line))
      return GrammarProblem{"is not UTF-8 text (see line " + std::to_string(number) + ")"};
    if (line.starts_with("#")) continue;
    const std::vector<std::string_view> tokens = tokensOf(line);
    if (tokens.empty()) continue;
    if (tokens.size() == 1) {
      return GrammarProblem{"gives the word \"" + shortened(tokens[0]) + "\" no pronunciation" + onLine(number)};
    }
    HostPronunciation entry{lowerCaseWord(tokens[0]), number, true, {}};
    for (std::size_t i = 1; i < tokens.size() && entry.phones; ++i) {
      std::optional<std::string> phone = phoneOf(tokens[i], phones);
      if (phone) entry.sounds.push_back(std::move(*phone));
      entry.phones = phone.has_value();
    }
    if (!entry.phones) entry.sounds.assign(tokens.begin() + 1, tokens.end());
    entries.push_back(std::move(entry));
  }
  return entries;
}

HostPronunciations readPronunciationFile(const std::string& path, std::string_view phoneSet) {
  std::variant<std::string, GrammarProblem> read =
      readTextFile(path, kMaxPronunciationFileBytes, "is larger than 1 MiB");
  if (const auto* problem = std::get_if<GrammarProblem>(&read)) return {{}, pronunciationFileSentence(path, *problem)};
  std::variant<std::vector<HostPronunciation>, GrammarProblem> parsed =
      parsePronunciations(std::get<std::string>(read), phoneSet);
  if (const auto* problem = std::get_if<GrammarProblem>(&parsed))
    return {{}, pronunciationFileSentence(path, *problem)};
  return {std::move(std::get<std::vector<HostPronunciation>>(parsed)), {}};
}

std::string pronunciationFileSentence(const std::string& path, const GrammarProblem& problem) {
  return "The pronunciation file " + path + " " + problem.description;
}

}  // namespace speech_bridge
