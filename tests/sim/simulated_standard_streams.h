// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <deque>
#include <string>
#include <vector>

#include "platform/standard_streams.h"
#include "sim/simulated_main_loop.h"

namespace speech_bridge::sim {

// Standard input scripted on the virtual clock; standard output recorded.
class SimulatedStandardStreams final : public StandardStreams {
 public:
  explicit SimulatedStandardStreams(SimulatedMainLoop& loop) : loop_(loop) {}

  // Script, before or during a job: bytes that become readable at virtual time
  // `at`, and the end of input at `at`. Without closeInputAt() the input stays
  // open for ever.
  void feedInputAt(double at, std::string bytes);
  void closeInputAt(double at);
  // A read error at `at`: that read and every later one fail.
  void failInputAt(double at);

  // The host stops reading: later writes fail.
  void closeOutput() { outputClosed_ = true; }

  // Unblocks every reader, so that background threads can be joined.
  void shutDown();

  // Everything written to standard output, and the calls that wrote it.
  const std::string& output() const { return output_; }
  const std::vector<std::string>& writes() const { return writes_; }
  std::vector<std::string> outputLines() const;
  // Lines written so far; unlike the above, any thread may ask.
  std::size_t linesWritten() const { return linesWritten_.load(std::memory_order_acquire); }

  bool readabilityHandlerInstalled() const { return static_cast<bool>(handler_); }
  int readabilityClears() const { return clears_; }
  std::vector<std::size_t> readSizes() const;

  bool writeOutput(std::string_view bytes) override;
  void setInputReadabilityHandler(ReadabilityHandler handler) override;
  void clearInputReadabilityHandler() override;
  std::optional<std::string> readInput(std::size_t maxBytes) override;

 private:
  struct Piece {
    double at;
    std::string bytes;  // empty: end of input (or a read error, when `fails`)
    bool fails = false;
  };

  void deliverPiece(std::size_t index);
  void markInputMoment(double at);

  SimulatedMainLoop& loop_;
  std::string output_;
  std::atomic<std::size_t> linesWritten_{0};
  std::vector<std::string> writes_;
  bool outputClosed_ = false;
  ReadabilityHandler handler_;
  int clears_ = 0;
  bool handlerEverSet_ = false;

  // Shared with background readers, under the loop's lock.
  std::deque<Piece> pieces_;   // what is still to be read, in order of time
  std::vector<Piece> script_;  // everything scripted, for the readability handler
  bool shutDown_ = false;
  std::vector<std::size_t> readSizes_;
};

}  // namespace speech_bridge::sim
