// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace speech_bridge {

// How locale identifiers and language tags are compared, by recognition and
// by the voices alike.

// Letter case and "-" or "_" alike: "en_US" and "EN-us" are "en-us".
std::string canonicalLanguageTag(std::string_view tag);

// The same, with a POSIX locale's ".UTF-8" or "@euro" left out: what a voice
// is chosen by ("en_US.UTF-8" is "en-us").
std::string canonicalVoiceTag(std::string_view tag);

// Whether a tag asks for English or American English: "en", "en-US",
// "en_US", "en-US-…", read as canonicalVoiceTag() does. Not British English,
// nor any other.
bool isAmericanEnglishTag(std::string_view tag);

}  // namespace speech_bridge
