// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace speech_bridge {

// Whether a language tag asks for English or American English: "en",
// "en-US", "en_US", "en-US-…"; letter case alike, a POSIX locale's ".UTF-8"
// or "@…" ignored. Not British English, nor any other.
bool isAmericanEnglishTag(const std::string& languageTag);

}  // namespace speech_bridge
