// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/espeak-ng/espeak_word_reader.h"

#include <espeak-ng/speak_lib.h>

#include <future>
#include <string_view>
#include <unordered_map>

#include "platform/espeak-ng/espeak_engine.h"

namespace speech_bridge {
namespace {

constexpr const char* kVoice = "gmw/en-US";
// Between the phonemes of eSpeak NG's answer (bits 8 to 23 of the mode).
constexpr char kSeparator = '_';

// eSpeak NG's phoneme names for American English, as CMUdict's phones.
const std::unordered_map<std::string_view, std::string_view>& phoneTable() {
  static const std::unordered_map<std::string_view, std::string_view> table = {
      {"a", "AE"},      {"a#", "AH"},     {"A:", "AA"},   {"A", "AA"},      {"0", "AA"},     {"A@", "AA R"},
      {"O:", "AO"},     {"O", "AO"},      {"O@", "AO R"}, {"o@", "AO R"},   {"oU", "OW"},    {"o", "OW"},
      {"@", "AH"},      {"@2", "AH"},     {"@5", "AH"},   {"@L", "AH L"},   {"3:", "ER"},    {"3", "ER"},
      {"V", "AH"},      {"E", "EH"},      {"e@", "EH R"}, {"eI", "EY"},     {"I", "IH"},     {"I#", "IH"},
      {"I2", "IH"},     {"i", "IY"},      {"i:", "IY"},   {"i@", "IY AH"},  {"i@3", "IH R"}, {"aI", "AY"},
      {"aI@", "AY ER"}, {"aI3", "AY ER"}, {"aU", "AW"},   {"aU@", "AW ER"}, {"OI", "OY"},    {"U", "UH"},
      {"U@", "UH R"},   {"u:", "UW"},     {"u", "UW"},    {"p", "P"},       {"b", "B"},      {"t", "T"},
      {"t#", "T"},      {"d", "D"},       {"k", "K"},     {"g", "G"},       {"f", "F"},      {"v", "V"},
      {"T", "TH"},      {"D", "DH"},      {"s", "S"},     {"z", "Z"},       {"S", "SH"},     {"Z", "ZH"},
      {"h", "HH"},      {"tS", "CH"},     {"dZ", "JH"},   {"m", "M"},       {"n", "N"},      {"N", "NG"},
      {"n-", "AH N"},   {"l", "L"},       {"l-", "AH L"}, {"r", "R"},       {"r-", "R"},     {"w", "W"},
      {"j", "Y"},       {"x", "K"},       {"?", ""},
  };
  return table;
}

// "v_a_n_d_'A@_r_I_s" -> "V AE N D AA R IH S"; nothing when a phoneme is
// not in the table.
std::optional<std::string> arpabetOf(std::string_view phonemes) {
  std::string phones;
  std::size_t at = 0;
  while (at < phonemes.size()) {
    std::size_t end = at;
    while (end < phonemes.size() && phonemes[end] != kSeparator && phonemes[end] != ' ' && phonemes[end] != '\n') ++end;
    std::string_view name = phonemes.substr(at, end - at);
    at = end + 1;
    while (!name.empty() &&
           (name.front() == '\'' || name.front() == ',' || name.front() == '%' || name.front() == '=')) {
      name.remove_prefix(1);
    }
    if (name.empty()) continue;
    const auto found = phoneTable().find(name);
    if (found == phoneTable().end()) return std::nullopt;
    if (found->second.empty()) continue;
    if (!phones.empty()) phones += ' ';
    phones += found->second;
  }
  if (phones.empty()) return std::nullopt;
  return phones;
}

}  // namespace

std::vector<std::optional<std::string>> EspeakWordReader::readWords(const std::vector<std::string>& words) {
  if (words.empty()) return {};
  std::promise<std::vector<std::optional<std::string>>> answer;
  std::future<std::vector<std::optional<std::string>>> answered = answer.get_future();
  EspeakEngine& engine = EspeakEngine::shared();
  engine.submit([&engine, &words, &answer] {
    std::vector<std::optional<std::string>> phones(words.size());
    if (engine.startSynthesis() && engine.selectVoice(kVoice)) {
      for (std::size_t i = 0; i < words.size(); ++i) {
        const void* text = words[i].c_str();
        const char* phonemes = espeak_TextToPhonemes(&text, espeakCHARS_UTF8, kSeparator << 8);
        if (phonemes) phones[i] = arpabetOf(phonemes);
      }
    }
    answer.set_value(std::move(phones));
  });
  return answered.get();
}

}  // namespace speech_bridge
