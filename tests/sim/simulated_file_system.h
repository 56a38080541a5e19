// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <set>
#include <string>

#include "platform/file_system.h"

namespace speech_bridge::sim {

class SimulatedFileSystem final : public FileSystem {
 public:
  std::string workingDirectory = "/work";
  std::set<std::string> existingPaths;  // absolute

  std::string absolutePath(const std::string& path) const override {
    return !path.empty() && path.front() == '/' ? path : workingDirectory + "/" + path;
  }
  bool fileExistsAtPath(const std::string& path) const override { return existingPaths.count(path) > 0; }
};

}  // namespace speech_bridge::sim
