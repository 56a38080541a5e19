// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/file_system.h"

namespace speech_bridge {

class PosixFileSystem final : public FileSystem {
 public:
  std::string absolutePath(const std::string& path) const override;
  bool fileExistsAtPath(const std::string& path) const override;
};

}  // namespace speech_bridge
