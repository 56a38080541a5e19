// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/word_reader.h"

namespace speech_bridge {

// Flite's CMU lexicon: its own entry for a word, or else its letter-to-sound
// rules. Flite's reduced vowels ("ax", "axr") become CMUdict's AH and ER.
// The lookups run on Flite's engine thread, like everything of Flite's; the
// lexicon's library is loaded with the first word.
class FliteLexicon final : public WordReader {
 public:
  std::vector<std::optional<std::string>> readWords(const std::vector<std::string>& words) override;
};

}  // namespace speech_bridge
