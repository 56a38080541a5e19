// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/posix_standard_streams.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

namespace speech_bridge {
namespace {

constexpr std::size_t kReadChunkBytes = 64 * 1024;

}  // namespace

bool PosixStandardStreams::writeOutput(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
    if (written > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(written));
    } else if (written < 0 && errno == EINTR) {
      continue;
    } else if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // A host may hand us a non-blocking pipe; wait until it drains.
      pollfd out{STDOUT_FILENO, POLLOUT, 0};
      ::poll(&out, 1, -1);
    } else {
      return false;
    }
  }
  return true;
}

void PosixStandardStreams::setInputReadabilityHandler(ReadabilityHandler handler) {
  std::lock_guard lock(handlerMutex_);
  handler_ = std::move(handler);
  if (!readerStarted_) {
    readerStarted_ = true;
    // Blocked in read() until input comes; it is never joined, and the process
    // exits without waiting for it.
    std::thread([this] { readUntilEnd(); }).detach();
  }
}

void PosixStandardStreams::clearInputReadabilityHandler() {
  std::lock_guard lock(handlerMutex_);
  handler_ = nullptr;
}

std::optional<std::string> PosixStandardStreams::readInput(std::size_t maxBytes) {
  std::string buffer(maxBytes, '\0');
  for (;;) {
    const ssize_t got = ::read(STDIN_FILENO, buffer.data(), maxBytes);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd in{STDIN_FILENO, POLLIN, 0};
      ::poll(&in, 1, -1);
      continue;
    }
    if (got < 0) return std::nullopt;
    buffer.resize(static_cast<std::size_t>(got));
    return buffer;
  }
}

void PosixStandardStreams::readUntilEnd() {
  for (;;) {
    // The control channel has no use for the difference: a failed read ends
    // its input as the end of input does.
    std::string chunk = readInput(kReadChunkBytes).value_or(std::string());
    const bool atEnd = chunk.empty();
    {
      std::lock_guard lock(handlerMutex_);
      if (handler_) handler_(std::move(chunk));
    }
    if (atEnd) return;
  }
}

}  // namespace speech_bridge
