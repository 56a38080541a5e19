// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/posix_file_system.h"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>

namespace speech_bridge {

std::string PosixFileSystem::absolutePath(const std::string& path) const {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return error ? path : absolute.string();
}

bool PosixFileSystem::fileExistsAtPath(const std::string& path) const {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0;
}

}  // namespace speech_bridge
