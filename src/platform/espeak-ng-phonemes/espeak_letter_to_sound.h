// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace speech_bridge {

// The phones eSpeak NG's American English voice reads each word with, by its
// own rules, as CMUdict writes them (upper case, without stress: "vandaris"
// -> "V AE N D AA R IH S"). Players, like other engines' voices, read an
// invented name by rules of their own: this is a second reading beside
// Flite's. Nothing for a word that eSpeak NG cannot read or whose phonemes
// have no counterpart. Any thread: the words go to eSpeak NG's engine
// thread together, and the call waits for them.
std::vector<std::optional<std::string>> espeakPhones(const std::vector<std::string>& words);

}  // namespace speech_bridge
