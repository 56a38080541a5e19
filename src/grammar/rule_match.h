// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

namespace speech_bridge {

// One rule a recognised sentence passed through.
struct RuleMatch {
  std::string rule;                // its name, without angle brackets
  std::string text;                // the words it covered, as the sentence's text has them
  std::optional<std::string> tag;  // the tags met in its own expansion, joined by one space

  bool operator==(const RuleMatch&) const = default;
};

}  // namespace speech_bridge
