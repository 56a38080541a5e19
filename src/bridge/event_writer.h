// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "bridge/event.h"

namespace speech_bridge {

class StandardStreams;

// One event as one line of compact JSON, without the line feed: the fields
// plus "event" set to `kind`, members sorted by name at every level, every "/"
// escaped as "\/", and text outside ASCII left as UTF-8. Each ill-formed
// UTF-8 sequence in a text or name is written as U+FFFD, so an event always
// serialises.
std::string serializeEvent(const std::string& kind, const EventFields& fields);

// Writes the event's JSON and then, as a second write, one line feed.
void writeEvent(StandardStreams& streams, const std::string& kind, const EventFields& fields);

}  // namespace speech_bridge
