// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/property_list.h"

namespace speech_bridge {

// The Info.plist linked into the executable at build time.
std::string_view embeddedInfoPlist();

// Reads a property list (XML or binary) with libplist, once, on first lookup.
class EmbeddedPropertyList final : public PropertyList {
 public:
  explicit EmbeddedPropertyList(std::string_view bytes = embeddedInfoPlist()) : bytes_(bytes) {}

  std::optional<std::string> objectForInfoDictionaryKey(const std::string& key) const override;

 private:
  void parse() const;

  std::string_view bytes_;
  mutable std::once_flag parsed_;
  mutable std::map<std::string, std::string> entries_;
};

}  // namespace speech_bridge
