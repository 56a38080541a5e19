// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace speech_bridge {

// The process's standard input and output.
class StandardStreams {
 public:
  // Receives each chunk read from standard input; an empty chunk means the end
  // of input, after which the handler is not called again.
  using ReadabilityHandler = std::function<void(std::string chunk)>;

  virtual ~StandardStreams() = default;

  // Writes all of `bytes` to standard output before returning, with no
  // buffering in the process. Short writes and interrupted calls are retried.
  // Returns false when the output is gone (the reader has closed its end);
  // the caller decides whether that matters.
  virtual bool writeOutput(std::string_view bytes) = 0;

  // Starts calling `handler` on a reader thread of the platform, once per
  // chunk, with every byte available at that moment. Main thread only.
  virtual void setInputReadabilityHandler(ReadabilityHandler handler) = 0;

  // After this returns, no further handler call starts. Harmless when none was
  // set. Main thread only.
  virtual void clearInputReadabilityHandler() = 0;

  // One blocking read of at most `maxBytes` (> 0). Returns at least one byte,
  // an empty string at the end of input, or nothing when the read failed (the
  // input is then unusable; reading again fails again). Any thread.
  virtual std::optional<std::string> readInput(std::size_t maxBytes) = 0;
};

}  // namespace speech_bridge
