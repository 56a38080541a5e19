// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/festival/festival_voices.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <tuple>

#include "platform/language_tag.h"

namespace speech_bridge {
namespace {

namespace fs = std::filesystem;

constexpr char kDefaultEnglishVoice[] = "cmu_us_slt_arctic_hts";

// Festival's language folders, and the languages of voices whose folder
// names a language more broadly than the voice speaks it.
std::string languageOf(const std::string& folder, const std::string& name) {
  static const std::map<std::string, std::string> byVoice = {
      {"kal_diphone", "en-US"}, {"ked_diphone", "en-US"}, {"rab_diphone", "en-GB"}, {"don_diphone", "en-GB"}};
  static const std::map<std::string, std::string> byFolder = {
      {"us", "en-US"},      {"english", "en"},   {"british", "en-GB"}, {"uk", "en-GB"},     {"spanish", "es"},
      {"welsh", "cy"},      {"czech", "cs"},     {"finnish", "fi"},    {"italian", "it"},   {"russian", "ru"},
      {"german", "de"},     {"french", "fr"},    {"catalan", "ca"},    {"polish", "pl"},    {"portuguese", "pt"},
      {"hindi", "hi"},      {"marathi", "mr"},   {"telugu", "te"},     {"tamil", "ta"},     {"japanese", "ja"}};
  if (const auto known = byVoice.find(name); known != byVoice.end()) return known->second;
  // <maker>_<country>_<speaker>_…: the country tells the English.
  if (name.find("_us_") != std::string::npos) return "en-US";
  if (name.find("_uk_") != std::string::npos) return "en-GB";
  if (const auto known = byFolder.find(folder); known != byFolder.end()) return known->second;
  return {};
}

// "cmu_us_slt_arctic_hts" reads "Festival slt (American English, HTS)":
// the speaker and how the voice was made; other names as they are.
std::string readableName(const std::string& name, const std::string& tag) {
  static const std::map<std::string, std::string> languages = {
      {"en-US", "American English"}, {"en-GB", "British English"}, {"en", "English"}};
  static const std::map<std::string, std::string> methods = {
      {"hts", "HTS"}, {"clunits", "unit selection"}, {"diphone", "diphones"}, {"cg", "clustergen"}};
  std::vector<std::string> parts;
  for (std::size_t at = 0; at <= name.size();) {
    const std::size_t end = std::min(name.find('_', at), name.size());
    parts.push_back(name.substr(at, end - at));
    at = end + 1;
  }
  const auto language = languages.find(tag);
  const auto method = methods.find(parts.back());
  if (language == languages.end() || method == methods.end()) return "Festival " + name;
  // <maker>_<country>_<speaker>_… or <speaker>_<method>
  const std::string& speaker = parts.size() >= 4 ? parts[2] : parts.front();
  return "Festival " + speaker + " (" + language->second + ", " + method->second + ")";
}

bool isSchemeName(const std::string& name) {
  return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
  });
}

}  // namespace

const std::string& festivalVoicesFolder() {
  static const std::string folder = SPEECH_BRIDGE_FESTIVAL_DIR "/voices/";
  return folder;
}

std::vector<FestivalVoice> findFestivalVoices(const std::string& voicesFolder) {
  std::vector<FestivalVoice> voices;
  std::error_code failure;
  for (const fs::directory_entry& language : fs::directory_iterator(voicesFolder, failure)) {
    if (!language.is_directory(failure)) continue;
    for (const fs::directory_entry& folder : fs::directory_iterator(language.path(), failure)) {
      const std::string name = folder.path().filename().string();
      const std::string tag = languageOf(language.path().filename().string(), name);
      if (tag.empty() || !isSchemeName(name)) continue;
      if (!fs::is_regular_file(folder.path() / "festvox" / (name + ".scm"), failure)) continue;
      voices.push_back({{"festival/" + name, readableName(name, tag), tag}, name, folder.path().string() + "/"});
    }
  }
  std::sort(voices.begin(), voices.end(),
            [](const FestivalVoice& a, const FestivalVoice& b) {
              return std::tie(a.voice.identifier, a.folder) < std::tie(b.voice.identifier, b.folder);
            });
  // A name found in two language folders: Festival too keeps one.
  voices.erase(std::unique(voices.begin(), voices.end(),
                           [](const FestivalVoice& a, const FestivalVoice& b) { return a.name == b.name; }),
               voices.end());
  return voices;
}

const std::vector<FestivalVoice>& festivalVoices() {
  static const std::vector<FestivalVoice> voices = findFestivalVoices(festivalVoicesFolder());
  return voices;
}

const FestivalVoice* festivalVoiceWithIdentifier(const std::string& identifier) {
  for (const FestivalVoice& entry : festivalVoices()) {
    if (entry.voice.identifier == identifier) return &entry;
  }
  return nullptr;
}

const FestivalVoice* festivalVoiceForLanguage(const std::string& languageTag) {
  if (!isAmericanEnglishTag(languageTag)) return nullptr;
  return festivalVoiceWithIdentifier(std::string("festival/") + kDefaultEnglishVoice);
}

}  // namespace speech_bridge
