// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace speech_bridge {

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // The path as an absolute path: a relative one is taken relative to the
  // working directory. The path is not required to exist.
  virtual std::string absolutePath(const std::string& path) const = 0;

  // True when any file-system entry (file, directory, device, ...) exists at
  // the path. A dangling symbolic link counts as nothing.
  virtual bool fileExistsAtPath(const std::string& path) const = 0;
};

}  // namespace speech_bridge
