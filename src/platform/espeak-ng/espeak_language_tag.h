// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace speech_bridge {

// eSpeak NG's name for a language as a well-formed BCP 47 tag, as hosts'
// parsers (ICU, JavaScript's Intl.Locale) take it: "en-us" → "en-US",
// "cmn-latn-pinyin" → "cmn-Latn-pinyin". The language comes first in lower
// case, then the script in title case, the region in upper case and the
// variants; a subtag that is none of these ("nyc" in "en-us-nyc") goes into
// private use with eSpeak NG's own private use ("en-US-x-nyc"). "piqd",
// Klingon in its pIqaD script, becomes "tlh-Piqd". Never empty.
std::string languageTagFromEspeak(const std::string& language);

}  // namespace speech_bridge
