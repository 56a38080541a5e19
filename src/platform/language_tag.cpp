// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/language_tag.h"

#include <cctype>

namespace speech_bridge {

std::string canonicalLanguageTag(std::string_view tag) {
  std::string canonical;
  canonical.reserve(tag.size());
  for (const char c : tag) {
    canonical += c == '_' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return canonical;
}

std::string canonicalVoiceTag(std::string_view tag) {
  return canonicalLanguageTag(tag.substr(0, tag.find_first_of(".@")));
}

bool isAmericanEnglishTag(std::string_view tag) {
  const std::string canonical = canonicalVoiceTag(tag);
  return canonical == "en" || canonical == "en-us" || canonical.rfind("en-us-", 0) == 0;
}

}  // namespace speech_bridge
