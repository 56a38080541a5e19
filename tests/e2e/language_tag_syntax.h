// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>

namespace speech_bridge::e2e {

// Whether `tag` is a well-formed BCP 47 language tag as hosts' parsers take
// it (JavaScript's Intl.Locale, ICU): RFC 5646's "langtag", letter case
// ignored, without what those parsers refuse although the grammar has it:
// grandfathered tags, tags of private use alone, the reserved four-letter
// languages and extended language subtags; and with no variant or singleton
// twice.
bool isWellFormedLanguageTag(std::string_view tag);

}  // namespace speech_bridge::e2e
