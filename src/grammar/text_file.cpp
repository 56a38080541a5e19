// SPDX-License-Identifier: GPL-3.0-or-later
#include "grammar/text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace speech_bridge {
namespace {

class Descriptor {
 public:
  explicit Descriptor(int descriptor) : descriptor_(descriptor) {}
  ~Descriptor() {
    if (descriptor_ >= 0) ::close(descriptor_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return descriptor_; }

 private:
  int descriptor_;
};

std::string reason(int error) { return std::strerror(error); }

}  // namespace

std::variant<std::string, GrammarProblem> readTextFile(const std::string& path, std::size_t mostBytes,
                                                       const std::string& tooLarge) {
  // Non-blocking, so that a named pipe cannot hold the task: it is refused below.
  const Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (file.get() < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return GrammarProblem{"does not exist"};
    return GrammarProblem{"cannot be read: " + reason(errno)};
  }
  struct stat info {};
  if (::fstat(file.get(), &info) != 0) return GrammarProblem{"cannot be read: " + reason(errno)};
  if (S_ISDIR(info.st_mode)) return GrammarProblem{"is a directory"};
  if (!S_ISREG(info.st_mode)) return GrammarProblem{"is not a regular file"};
  if (static_cast<std::size_t>(info.st_size) > mostBytes) return GrammarProblem{tooLarge};
  std::string bytes;
  char block[65536];
  for (;;) {
    const ssize_t got = ::read(file.get(), block, sizeof block);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return GrammarProblem{"cannot be read: " + reason(errno)};
    if (got == 0) break;
    bytes.append(block, static_cast<std::size_t>(got));
    if (bytes.size() > mostBytes) return GrammarProblem{tooLarge};  // it grew while being read
  }
  return bytes;
}

}  // namespace speech_bridge
