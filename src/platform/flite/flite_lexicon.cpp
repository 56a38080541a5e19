// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/flite/flite_lexicon.h"

#include <dlfcn.h>
#include <flite/flite.h>

#include <algorithm>
#include <cctype>
#include <future>

#include "platform/flite/flite_engine.h"
#include "platform/flite/flite_errors.h"

namespace speech_bridge {
namespace {

// Loaded, not linked, like Flite's voices: only a grammar with words the
// dictionary lacks needs it. Never unloaded: Flite keeps the lexicon it sets
// up in the library's own variables.
constexpr const char* kLexiconLibrary = "libflite_cmulex.so.1";

struct Lookup {
  const char* word = nullptr;
  std::string phones;
};

cst_lexicon* loadLexicon() {
  void* handle = dlopen(kLexiconLibrary, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (!handle) return nullptr;
  auto initialise = reinterpret_cast<cst_lexicon* (*)()>(dlsym(handle, "cmu_lex_init"));
  return initialise ? initialise() : nullptr;
}

// Flite's phones are CMUdict's in lower case with stress digits, but for the
// reduced vowel ("ax"), which CMUdict writes as AH, and its r-coloured form.
// The list is read through Flite's macros: the program's own val_string is
// the speech tools' variable, not Flite's function.
void lookUp(void* context) {
  auto& lookup = *static_cast<Lookup*>(context);
  static cst_lexicon* const lexicon = loadLexicon();
  if (!lexicon) return;
  cst_val* const phones = lex_lookup(lexicon, lookup.word, nullptr, nullptr);
  // A pair's type is even (cst_val.h).
  for (const cst_val* at = phones; at && CST_VAL_TYPE(at) % 2 == 0; at = CST_VAL_CDR(at)) {
    const cst_val* item = CST_VAL_CAR(at);
    if (!item || CST_VAL_TYPE(item) != CST_VAL_TYPE_STRING) continue;
    std::string phone = CST_VAL_STRING(item);
    while (!phone.empty() && std::isdigit(static_cast<unsigned char>(phone.back()))) phone.pop_back();
    if (phone == "pau" || phone.empty()) continue;
    if (phone == "ax") phone = "ah";
    if (phone == "axr") phone = "er";
    for (char& c : phone) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (!lookup.phones.empty()) lookup.phones += ' ';
    lookup.phones += phone;
  }
  delete_val(phones);
}

// On Flite's thread.
std::optional<std::string> phonesOf(const std::string& word) {
  if (word.empty() || !std::all_of(word.begin(), word.end(), [](char c) { return c >= 'a' && c <= 'z'; })) {
    return std::nullopt;
  }
  Lookup lookup{word.c_str(), {}};
  if (!callCatchingFliteErrors(lookUp, &lookup) || lookup.phones.empty()) return std::nullopt;
  return lookup.phones;
}

}  // namespace

std::vector<std::optional<std::string>> FliteLexicon::readWords(const std::vector<std::string>& words) {
  if (words.empty()) return {};
  std::promise<std::vector<std::optional<std::string>>> answer;
  std::future<std::vector<std::optional<std::string>>> answered = answer.get_future();
  FliteEngine::shared().submit([&words, &answer] {
    std::vector<std::optional<std::string>> phones;
    for (const std::string& word : words) phones.push_back(phonesOf(word));
    answer.set_value(std::move(phones));
  });
  return answered.get();
}

}  // namespace speech_bridge
