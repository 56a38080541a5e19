// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <string>

#include "platform/property_list.h"

namespace speech_bridge::sim {

// Holds the two usage descriptions of the shipped list unless a test removes them.
class SimulatedPropertyList final : public PropertyList {
 public:
  std::map<std::string, std::string> entries = {
      {"NSMicrophoneUsageDescription", "Record your spoken ship order when you press Talk to ship."},
      {"NSSpeechRecognitionUsageDescription", "Transcribe your spoken ship orders on this Mac."},
  };

  std::optional<std::string> objectForInfoDictionaryKey(const std::string& key) const override {
    const auto found = entries.find(key);
    if (found == entries.end()) return std::nullopt;
    return found->second;
  }
};

}  // namespace speech_bridge::sim
