// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/arguments.h"

#include <algorithm>

namespace speech_bridge {

std::optional<std::string> valueAfter(const std::vector<std::string>& args, const std::string& flag) {
  const auto found = std::find(args.begin(), args.end(), flag);
  if (found == args.end() || std::next(found) == args.end()) return std::nullopt;
  return *std::next(found);
}

}  // namespace speech_bridge
