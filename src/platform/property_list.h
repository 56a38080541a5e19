// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

namespace speech_bridge {

// The information property list that the executable carries.
class PropertyList {
 public:
  virtual ~PropertyList() = default;

  // The value of a top-level key, rendered as text, or nothing when the key is
  // absent. A present key always yields a value, even an empty string.
  virtual std::optional<std::string> objectForInfoDictionaryKey(const std::string& key) const = 0;
};

}  // namespace speech_bridge
