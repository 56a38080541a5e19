// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace speech_bridge {

// The argument after the first one equal to `flag` (the mode word included in
// the search), taken as it is, even when empty or starting with "--"; nothing
// when the flag is absent or last.
std::optional<std::string> valueAfter(const std::vector<std::string>& args, const std::string& flag);

}  // namespace speech_bridge
