// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pocketsphinx/unreadable_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>

namespace speech_bridge {
namespace {

// Text as people write it: no byte below 0x20 but tabs, line and page
// breaks. Bytes from 0x80 up are taken for UTF-8 or another 8-bit text.
bool looksLikeText(const unsigned char* bytes, std::size_t length) {
  if (length == 0) return false;
  for (std::size_t i = 0; i < length; ++i) {
    const unsigned char c = bytes[i];
    if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != '\v') return false;
    if (c == 0x7F) return false;
  }
  return true;
}

}  // namespace

std::optional<std::string> nonAudioFileKind(const std::string& path, int descriptor) {
  struct stat info {};
  if (::fstat(descriptor, &info) != 0) return path + " cannot be examined";
  if (S_ISDIR(info.st_mode)) return path + " is a directory, not an audio file";
  if (!S_ISREG(info.st_mode)) return path + " is not a regular file, so it holds no recording";
  if (info.st_size == 0) return path + " is empty";
  return std::nullopt;
}

std::string unrecognisedFileDescription(const std::string& path, int descriptor) {
  std::array<unsigned char, 4096> head{};
  const ssize_t length = ::pread(descriptor, head.data(), head.size(), 0);
  if (length > 0 && looksLikeText(head.data(), static_cast<std::size_t>(length))) {
    return path + " is a text file, not an audio file";
  }
  return path + " is not an audio file libsndfile can read";
}

}  // namespace speech_bridge
