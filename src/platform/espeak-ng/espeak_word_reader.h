// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/word_reader.h"

namespace speech_bridge {

// The phonemes eSpeak NG's American English voice reads each word with, by
// its own rules. Players, like other engines' voices, read an invented name
// by rules of their own: this is a second reading beside Flite's. Nothing
// for a word whose phonemes have no counterpart in CMUdict's set. The words
// go to eSpeak NG's engine thread together.
class EspeakWordReader final : public WordReader {
 public:
  std::vector<std::optional<std::string>> readWords(const std::vector<std::string>& words) override;
};

}  // namespace speech_bridge
