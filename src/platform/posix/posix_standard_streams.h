// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <mutex>

#include "platform/standard_streams.h"

namespace speech_bridge {

// File descriptors 0 and 1, unbuffered.
class PosixStandardStreams final : public StandardStreams {
 public:
  bool writeOutput(std::string_view bytes) override;
  void setInputReadabilityHandler(ReadabilityHandler handler) override;
  void clearInputReadabilityHandler() override;
  std::optional<std::string> readInput(std::size_t maxBytes) override;

 private:
  void readUntilEnd();

  std::mutex handlerMutex_;  // held while the handler runs, so clearing waits for it
  ReadabilityHandler handler_;
  bool readerStarted_ = false;
};

}  // namespace speech_bridge
