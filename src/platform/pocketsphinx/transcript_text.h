// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace speech_bridge {

// What a person wants to read of an engine hypothesis: its words joined by
// single spaces, without sentence and silence markers ("<s>", "</s>",
// "<sil>"), bracketed noise fillers ("[NOISE]", "++BREATH++") and
// alternate-pronunciation suffixes ("word(2)" -> "word").
std::string readableTranscript(std::string_view hypothesis);

// A silence or sentence marker or a noise filler: no word.
bool isFiller(std::string_view token);

// Appends `words` to `text`, with one space between when both have words.
void appendWords(std::string& text, std::string_view words);

}  // namespace speech_bridge
