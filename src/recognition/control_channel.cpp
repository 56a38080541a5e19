// SPDX-License-Identifier: GPL-3.0-or-later
#include <string_view>

#include "bridge/messages.h"
#include "bridge/speech_bridge.h"
#include "bridge/unicode_text.h"
#include "platform/main_loop.h"
#include "platform/standard_streams.h"

namespace speech_bridge {
namespace {

constexpr std::size_t kControlBufferLimit = 4096;

}  // namespace

void SpeechBridge::listenControls() {
  std::weak_ptr<SpeechBridge> weakBridge = weak_from_this();
  MainLoop& loop = platform_.loop;
  // Runs on the reader's thread: it only hands the chunk to the main loop.
  platform_.streams.setInputReadabilityHandler([weakBridge, &loop](std::string chunk) {
    loop.post([weakBridge, chunk = std::move(chunk)] {
      if (const auto bridge = weakBridge.lock()) bridge->handleControlChunk(chunk);
    });
  });
}

void SpeechBridge::handleControlChunk(const std::string& chunk) {
  if (done) return;
  if (chunk.empty()) {
    // A line still waiting for its line feed is never acted on.
    fail(message::kControlInputClosed);
    return;
  }
  controls += chunk;
  if (controls.size() > kControlBufferLimit) {
    fail(message::kControlInputOversized);
    return;
  }
  for (std::size_t lineEnd; (lineEnd = controls.find('\n')) != std::string::npos;) {
    const std::string decoded = decodeUtf8WithReplacement(std::string_view(controls).substr(0, lineEnd));
    const std::string command(trimWhitespaceAndNewlines(decoded));
    controls.erase(0, lineEnd + 1);
    // Lines after one that ended the job still run; completion and
    // stopListening() do nothing once the job is done.
    if (command == "stop") {
      stopListening();
    } else if (command == "cancel") {
      fail(message::kListeningCancelled);
    } else if (!command.empty()) {
      fail(message::kUnknownControlCommand);
    }
  }
}

}  // namespace speech_bridge
