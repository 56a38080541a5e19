// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace speech_bridge {

// Readings of words by a speech engine's own lexicon and letter-to-sound
// rules, for the words a recognizer's dictionary lacks: phones as CMUdict
// writes them, upper case, without stress, one space between ("kestrel" ->
// "K EH S T R AH L").
class WordReader {
 public:
  virtual ~WordReader() = default;

  // One reading for each word (lower-case letters a to z only), in order;
  // nothing for a word the engine cannot read. Any thread but the engine's
  // own; waits for the engine.
  virtual std::vector<std::optional<std::string>> readWords(const std::vector<std::string>& words) = 0;
};

}  // namespace speech_bridge
