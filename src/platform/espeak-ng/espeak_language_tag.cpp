// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/espeak-ng/espeak_language_tag.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace speech_bridge {
namespace {

bool allOf(const std::string& s, int (*test)(int)) {
  return std::all_of(s.begin(), s.end(), [test](char c) { return test(static_cast<unsigned char>(c)) != 0; });
}
bool isAlpha(const std::string& s, std::size_t least, std::size_t most) {
  return s.size() >= least && s.size() <= most && allOf(s, std::isalpha);
}
bool isAlphanumeric(const std::string& s, std::size_t least, std::size_t most) {
  return s.size() >= least && s.size() <= most && allOf(s, std::isalnum);
}
bool isLanguage(const std::string& s) { return isAlpha(s, 2, 3) || isAlpha(s, 5, 8); }
bool isScript(const std::string& s) { return isAlpha(s, 4, 4); }
bool isRegion(const std::string& s) {
  return isAlpha(s, 2, 2) || (s.size() == 3 && allOf(s, std::isdigit));
}
bool isVariant(const std::string& s) {
  return isAlphanumeric(s, 5, 8) ||
         (s.size() == 4 && std::isdigit(static_cast<unsigned char>(s[0])) && isAlphanumeric(s, 4, 4));
}

std::vector<std::string> lowerCaseSubtags(const std::string& name) {
  std::vector<std::string> subtags;
  std::string subtag;
  for (const char c : name + '-') {
    if (c == '-' || c == '_') {
      if (!subtag.empty()) subtags.push_back(subtag);
      subtag.clear();
    } else {
      subtag += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
  }
  return subtags;
}

}  // namespace

std::string languageTagFromEspeak(const std::string& name) {
  std::vector<std::string> subtags = lowerCaseSubtags(name);
  // eSpeak NG names its Klingon voice after the script alone.
  if (!subtags.empty() && subtags[0] == "piqd") subtags.insert(subtags.begin(), "tlh");
  std::string language = "und", script, region;
  std::vector<std::string> variants, privateUse;
  std::size_t at = 0;
  // Anything else where the language belongs is read as a later subtag of an
  // undetermined language.
  if (!subtags.empty() && isLanguage(subtags[0])) language = subtags[at++];
  for (; at < subtags.size() && subtags[at].size() > 1; ++at) {
    const std::string& subtag = subtags[at];
    if (script.empty() && isScript(subtag)) {
      script = subtag;
      script[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(script[0])));
    } else if (region.empty() && isRegion(subtag)) {
      region = subtag;
      for (char& c : region) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    } else if (isVariant(subtag)) {
      if (std::find(variants.begin(), variants.end(), subtag) == variants.end()) variants.push_back(subtag);
    } else if (isAlphanumeric(subtag, 1, 8)) {
      privateUse.push_back(subtag);
    }
  }
  // From the first singleton on, everything is private use: eSpeak NG's own
  // ("x-rp"), and any other singleton with its subtags.
  if (at < subtags.size() && subtags[at] == "x") ++at;
  for (; at < subtags.size(); ++at) {
    if (isAlphanumeric(subtags[at], 1, 8)) privateUse.push_back(subtags[at]);
  }

  std::string tag = language;
  for (const std::string* part : {&script, &region}) {
    if (!part->empty()) tag += "-" + *part;
  }
  for (const std::string& variant : variants) tag += "-" + variant;
  if (!privateUse.empty()) tag += "-x";
  for (const std::string& subtag : privateUse) tag += "-" + subtag;
  return tag;
}

}  // namespace speech_bridge
