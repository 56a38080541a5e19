// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/speech/english_tag.h"

#include <cctype>

namespace speech_bridge {

bool isAmericanEnglishTag(const std::string& languageTag) {
  std::string tag = languageTag.substr(0, languageTag.find_first_of(".@"));
  for (char& c : tag) c = c == '_' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return tag == "en" || tag == "en-us" || tag.rfind("en-us-", 0) == 0;
}

}  // namespace speech_bridge
