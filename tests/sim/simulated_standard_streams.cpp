// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/simulated_standard_streams.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace speech_bridge::sim {

// A blocked reader waits on a condition, which the loop cannot see ahead: a
// timer at the same moment makes virtual time stop there, so the reader wakes
// exactly when its input comes.
void SimulatedStandardStreams::markInputMoment(double at) {
  loop_.schedulePlatformEvent(at, [] {});
}

void SimulatedStandardStreams::feedInputAt(double at, std::string bytes) {
  if (bytes.empty()) return;
  markInputMoment(at);
  loop_.changeShared([&] {
    pieces_.push_back({at, bytes});
    script_.push_back({at, bytes});
  });
  if (handlerEverSet_) deliverPiece(script_.size() - 1);
}

void SimulatedStandardStreams::closeInputAt(double at) {
  markInputMoment(at);
  loop_.changeShared([&] {
    pieces_.push_back({at, std::string()});
    script_.push_back({at, std::string()});
  });
  if (handlerEverSet_) deliverPiece(script_.size() - 1);
}

void SimulatedStandardStreams::failInputAt(double at) {
  if (handlerEverSet_) ADD_FAILURE() << "read errors are scripted for blocking reads only";
  markInputMoment(at);
  loop_.changeShared([&] { pieces_.push_back({at, std::string(), true}); });
}

void SimulatedStandardStreams::shutDown() {
  loop_.changeShared([&] { shutDown_ = true; });
}

std::vector<std::string> SimulatedStandardStreams::outputLines() const {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = output_.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(output_.substr(start, end - start));
  }
  if (start < output_.size()) lines.push_back(output_.substr(start) + "<no line feed>");
  return lines;
}

std::vector<std::size_t> SimulatedStandardStreams::readSizes() const {
  std::vector<std::size_t> sizes;
  loop_.changeShared([&] { sizes = readSizes_; });
  return sizes;
}

bool SimulatedStandardStreams::writeOutput(std::string_view bytes) {
  if (outputClosed_) return false;
  output_.append(bytes);
  writes_.emplace_back(bytes);
  linesWritten_.fetch_add(static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n')),
                          std::memory_order_release);
  return true;
}

void SimulatedStandardStreams::setInputReadabilityHandler(ReadabilityHandler handler) {
  if (handlerEverSet_) ADD_FAILURE() << "the readability handler was installed twice";
  handler_ = std::move(handler);
  handlerEverSet_ = true;
  for (std::size_t i = 0; i < script_.size(); ++i) deliverPiece(i);
}

void SimulatedStandardStreams::clearInputReadabilityHandler() {
  handler_ = nullptr;
  ++clears_;
}

// The platform's reader thread, played on the main thread at the piece's
// time: it hands the chunk to whatever handler is installed then.
void SimulatedStandardStreams::deliverPiece(std::size_t index) {
  const Piece piece = script_[index];
  loop_.schedulePlatformEvent(piece.at, [this, piece] {
    if (handler_) handler_(piece.bytes);
  });
}

std::optional<std::string> SimulatedStandardStreams::readInput(std::size_t maxBytes) {
  std::optional<std::string> result = std::string();
  loop_.waitUntil([&](double now) {
    if (shutDown_) return true;
    return !pieces_.empty() && pieces_.front().at <= now;
  });
  loop_.changeShared([&] {
    readSizes_.push_back(maxBytes);
    if (shutDown_ || pieces_.empty()) return;  // end of input
    Piece& front = pieces_.front();
    if (front.fails) {
      result = std::nullopt;
      return;
    }
    if (front.bytes.empty()) return;  // end of input
    result = front.bytes.substr(0, maxBytes);
    front.bytes.erase(0, result->size());
    if (front.bytes.empty()) pieces_.pop_front();
  });
  return result;
}

}  // namespace speech_bridge::sim
