// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "platform/espeak-ng/espeak_engine.h"

namespace speech_bridge {

// The voice that speaks a language tag such as "en-US", "en_US", "de-DE" or
// "de" (letter case and "-" or "_" alike; a POSIX locale's ".UTF-8" or
// "@euro" ignored), or nothing. A tag whose region has no voice of its own
// falls back to its language: "de-AT" is spoken by the German voice. A tag
// as the listing writes it finds its voice as eSpeak NG's own name does
// ("en-US-x-nyc" and "en-us-nyc"). Among the voices that speak the same
// name, eSpeak NG's priority decides, then the inventory's order.
const EspeakVoice* voiceForLanguage(const std::vector<EspeakVoice>& voices, const std::string& languageTag);

}  // namespace speech_bridge
