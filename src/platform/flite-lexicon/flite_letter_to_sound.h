// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace speech_bridge {

// The phones Flite's CMU lexicon gives a word of the letters a to z (its own
// entry for the word, or else its letter-to-sound rules), as CMUdict writes
// them: upper case, without stress ("kestrel" -> "K EH S T R AH L"). Nothing
// for a word that holds anything else (Flite would drop those characters
// without a word) or when Flite fails. Any thread: the calls are serialised,
// and Flite's errors are caught. Not while Flite speaks in the same process:
// its error target is one for the whole process.
std::optional<std::string> fliteLexiconPhones(std::string_view word);

}  // namespace speech_bridge
