// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pocketsphinx/word_pronunciations.h"

#include <utf8proc.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <unordered_set>

#include "grammar/grammar_file.h"
#include "grammar/grammar_text.h"
#include "grammar/number_words.h"
#include "grammar/pronunciation_file.h"
#include "platform/pocketsphinx/grammar_search.h"
#include "platform/pocketsphinx/transcript_text.h"

namespace speech_bridge {
namespace {

// The letters' names, as CMUdict says them.
// clang-format off
constexpr std::array<const char*, 26> kLetterNames = {
    "EY", "B IY", "S IY", "D IY", "IY", "EH F", "JH IY", "EY CH", "AY", "JH EY", "K EY", "EH L", "EH M",
    "EH N", "OW", "P IY", "K Y UW", "AA R", "EH S", "T IY", "Y UW", "V IY", "D AH B AH L Y UW", "EH K S", "W AY",
    "Z IY"};
// clang-format on

std::vector<std::string> partsOf(const std::string& word) {
  std::vector<std::string> parts;
  std::size_t at = 0;
  for (;;) {
    const std::size_t end = std::min(word.find('-', at), word.size());
    parts.push_back(word.substr(at, end - at));
    if (end == word.size()) return parts;
    at = end + 1;
  }
}

// The word as Flite's letter-to-sound rules read it: accents dropped,
// apostrophes skipped; empty unless only the letters a to z remain.
std::string plainLetters(const std::string& word) {
  utf8proc_uint8_t* mapped = nullptr;
  const utf8proc_ssize_t length = utf8proc_map(
      reinterpret_cast<const utf8proc_uint8_t*>(word.c_str()), static_cast<utf8proc_ssize_t>(word.size()), &mapped,
      static_cast<utf8proc_option_t>(UTF8PROC_DECOMPOSE | UTF8PROC_STRIPMARK | UTF8PROC_CASEFOLD));
  std::string letters;
  if (length >= 0) letters.assign(reinterpret_cast<const char*>(mapped), static_cast<std::size_t>(length));
  std::free(mapped);
  std::string plain;
  for (std::size_t at = 0; at < letters.size(); ++at) {
    if (letters[at] == '\'') continue;
    if (letters.compare(at, 3, "\xE2\x80\x99") == 0) {  // ’
      at += 2;
      continue;
    }
    if (letters[at] < 'a' || letters[at] > 'z') return {};
    plain += letters[at];
  }
  return plain;
}

class Pronouncer {
 public:
  // `readings`: each reader's phones for the words that its rules may
  // read, by their plain letters, the readers in their order.
  Pronouncer(const PronunciationLookup& dictionary, const std::string& phoneSet,
             std::vector<std::unordered_map<std::string, std::string>> readings)
      : dictionary_(dictionary), phoneSet_(" " + phoneSet + " "), readings_(std::move(readings)) {}

  // The words whose dictionary entries pronouncing `word` may take.
  static void wordsToLookUp(const std::string& word, std::vector<std::string>& words) {
    words.push_back(word);
    if (const auto numbers = numberWords(word)) words.insert(words.end(), numbers->begin(), numbers->end());
    if (word.find('-') == std::string::npos) return;
    for (const std::string& part : partsOf(word)) {
      if (!part.empty()) wordsToLookUp(part, words);
    }
  }

  // Every pronunciation of a lower-case word, the likeliest first; none when
  // no rule has one.
  std::vector<std::string> of(const std::string& word, bool capitals) const {
    // A word that the text of a result would drop or change ("<sil>", "[x]", "a(2)").
    if (word.empty() || readableTranscript(word) != word) return {};
    if (const auto found = dictionary_.found.find(word); found != dictionary_.found.end()) {
      std::vector<std::string> all;
      for (const Pronunciation& pronunciation : found->second) all.push_back(pronunciation.phones);
      return all;
    }
    if (const auto numbers = numberWords(word)) return joined(*numbers, false);
    if (capitals && std::all_of(word.begin(), word.end(), [](char c) { return c >= 'a' && c <= 'z'; })) {
      std::string spelled;
      for (const char letter : word) appendWords(spelled, kLetterNames[static_cast<std::size_t>(letter - 'a')]);
      return {spelled};
    }
    if (word.find('-') != std::string::npos) return joined(partsOf(word), capitals);
    // Each reader's reading, the first reader's first.
    std::vector<std::string> read;
    const std::string plain = plainLetters(word);
    for (const auto& readings : readings_) {
      if (const auto found = readings.find(plain); found != readings.end() && inPhoneSet(found->second)) {
        read.push_back(found->second);
      }
    }
    return read;
  }

  // The words one after the other, each with its first pronunciation; none
  // when one of them has none.
  std::vector<std::string> joined(const std::vector<std::string>& words, bool capitals) const {
    std::string phones;
    for (const std::string& word : words) {
      const std::vector<std::string> sounds = of(word, capitals);
      if (sounds.empty()) return {};
      appendWords(phones, sounds.front());
    }
    return {phones};
  }

 private:
  bool inPhoneSet(const std::string& phones) const {
    std::size_t at = 0;
    while (at < phones.size()) {
      const std::size_t end = std::min(phones.find(' ', at), phones.size());
      if (phoneSet_.find(" " + phones.substr(at, end - at) + " ") == std::string::npos) return false;
      at = end + 1;
    }
    return true;
  }

  const PronunciationLookup& dictionary_;
  const std::string phoneSet_;
  const std::vector<std::unordered_map<std::string, std::string>> readings_;
};

// Each reader's readings of the words that the dictionary lacks and that are
// letters only, asked for together.
std::vector<std::unordered_map<std::string, std::string>> readingsOf(const std::vector<std::string>& words,
                                                                     const PronunciationLookup& dictionary,
                                                                     const WordReaders& readers) {
  std::vector<std::string> plain;
  for (const std::string& word : words) {
    if (dictionary.found.contains(word) || numberWords(word)) continue;
    if (std::string letters = plainLetters(word); !letters.empty()) plain.push_back(std::move(letters));
  }
  std::vector<std::unordered_map<std::string, std::string>> all;
  for (WordReader& reader : readers) {
    auto& readings = all.emplace_back();
    if (plain.empty()) continue;
    const std::vector<std::optional<std::string>> phones = reader.readWords(plain);
    for (std::size_t i = 0; i < plain.size() && i < phones.size(); ++i) {
      if (phones[i]) readings.emplace(plain[i], *phones[i]);
    }
  }
  return all;
}

}  // namespace

GrammarPronunciations pronounceGrammarWords(const SpeechModel& model, const GrammarGraph& graph,
                                            const std::string& grammarFile,
                                            const std::optional<std::string>& pronunciationFile,
                                            const WordReaders& readers) {
  HostPronunciations host;
  if (pronunciationFile) {
    host = readPronunciationFile(*pronunciationFile, model.phones);
    if (!host.error.empty()) return {{}, host.error};
  }
  std::vector<std::string> wanted;
  for (const std::string& word : graph.words) Pronouncer::wordsToLookUp(word, wanted);
  for (const HostPronunciation& entry : host.entries) {
    if (entry.phones) continue;
    for (const std::string& word : entry.sounds) Pronouncer::wordsToLookUp(lowerCaseWord(word), wanted);
  }
  std::sort(wanted.begin(), wanted.end());
  wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
  const PronunciationLookup dictionary = lookUpPronunciations(model.dictionary, wanted);
  if (!dictionary.error.empty()) return {{}, dictionary.error};
  const Pronouncer pronouncer(dictionary, model.phones, readingsOf(wanted, dictionary, readers));

  std::unordered_map<std::string, std::vector<std::string>> hosts;
  for (const HostPronunciation& entry : host.entries) {
    std::string phones;
    for (const std::string& sound : entry.sounds) {
      const std::vector<std::string> said = entry.phones
                                                ? std::vector<std::string>{sound}
                                                : pronouncer.of(lowerCaseWord(sound), isWrittenInCapitals(sound));
      if (said.empty()) {
        return {{},
                pronunciationFileSentence(*pronunciationFile,
                                          {"gives the word \"" + shortened(entry.word) +
                                           "\" a pronunciation that "
                                           "cannot be said on line " +
                                           std::to_string(entry.line) + ": \"" + shortened(sound) + "\" has none"})};
      }
      appendWords(phones, said.front());
    }
    hosts[entry.word].push_back(std::move(phones));
  }

  GrammarPronunciations result;
  std::vector<std::string> unpronounceable;
  for (const std::string& word : graph.words) {
    const auto own = hosts.find(word);
    std::vector<std::string> sounds =
        own != hosts.end() ? own->second : pronouncer.of(word, graph.writtenInCapitals.contains(word));
    if (sounds.empty()) {
      unpronounceable.push_back(word);
      continue;
    }
    std::vector<Pronunciation>& entries = result.found[word];
    std::unordered_set<std::string> seen;
    for (std::string& phones : sounds) {
      if (!seen.insert(phones).second) continue;
      const std::string entry = entries.empty() ? word : word + "(" + std::to_string(entries.size() + 1) + ")";
      entries.push_back({entry, std::move(phones)});
    }
  }
  if (!unpronounceable.empty()) {
    return {{}, grammarFileSentence(grammarFile, unpronounceableWords(unpronounceable, model.locale))};
  }
  return result;
}

}  // namespace speech_bridge
