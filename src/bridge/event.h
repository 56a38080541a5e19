// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <string>
#include <variant>
#include <vector>

namespace speech_bridge {

// One entry of a list field, such as a voice: member name to text.
using FieldRecord = std::map<std::string, std::string>;

// The values an event field can hold: text, a Boolean, or a list of records.
using FieldValue = std::variant<std::string, bool, std::vector<FieldRecord>>;

using EventFields = std::map<std::string, FieldValue>;

}  // namespace speech_bridge
