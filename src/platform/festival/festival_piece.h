// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace speech_bridge {

// One piece of text as Festival's selected voice says it.
struct FestivalPiece {
  int sampleRate = 0;                 // 0 when there was nothing to say
  std::vector<std::int16_t> samples;  // mono
  std::vector<double> wordStarts;     // seconds, in the order of the words
  double speechStart = 0;             // seconds: the pause before it ends
  double speechEnd = 0;               // seconds: the pause after it begins
};

// Defines the Scheme function that synthesizePiece() calls. After Festival
// has started; false when Festival refused it.
bool defineFestivalPieceSynthesis();

// Synthesizes `text` (no U+0000 in it) with the selected voice; a text
// without anything to say makes no samples. False when Festival raised an
// error or made a wave of more than one channel; nothing is left on
// Festival's heap either way. On Festival's thread only.
bool synthesizeFestivalPiece(const std::string& text, FestivalPiece& piece);

}  // namespace speech_bridge
