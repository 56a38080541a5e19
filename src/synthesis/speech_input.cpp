// SPDX-License-Identifier: GPL-3.0-or-later
#include "synthesis/speech_input.h"

#include <algorithm>
#include <string>

#include "app/arguments.h"
#include "app/process.h"
#include "bridge/messages.h"
#include "bridge/speech_bridge.h"
#include "bridge/unicode_text.h"
#include "platform/main_loop.h"
#include "platform/speech_synthesis.h"
#include "platform/standard_streams.h"

namespace speech_bridge {
namespace {

constexpr std::size_t kLargestSpeechInputBytes = 8192;
constexpr std::size_t kLargestReadBytes = 1024;
constexpr double kSpeechInputDeadlineSeconds = 5.0;

void handleSpeechInput(Process& process, const std::string& bytes) {
  SpeechBridge& bridge = *process.bridge;
  if (bridge.done) return;
  bridge.speechInputReceived = true;
  if (bytes.size() > kLargestSpeechInputBytes) {
    bridge.fail(message::kSpeechInputTooLarge);
    return;
  }
  if (!isWellFormedUtf8(bytes)) {
    bridge.fail(message::kSpeechInputNotUtf8);
    return;
  }
  bridge.speak(bytes, valueAfter(process.args, "--voice"), process.locale);
}

// On a background thread. Reads until the end of input, or until it holds one
// byte more than is accepted, so that an oversized text is reported without
// waiting for the host to close its end. It touches nothing of the job: the
// process may have ended it (and, in tests, be gone) by the time a read returns.
void readSpeechInput(StandardStreams& streams, MainLoop& loop, Process& process) {
  std::string buffer;
  while (buffer.size() <= kLargestSpeechInputBytes) {
    const std::optional<std::string> chunk =
        streams.readInput(std::min(kLargestSpeechInputBytes + 1 - buffer.size(), kLargestReadBytes));
    // A failed read leaves the text incomplete: nothing is handed over, and
    // the input deadline ends the job rather than a truncated text being spoken.
    if (!chunk) return;
    if (chunk->empty()) break;
    buffer += *chunk;
  }
  loop.post([&process, bytes = std::move(buffer)] { handleSpeechInput(process, bytes); });
}

void speechInputDeadline(Process& process) {
  SpeechBridge& bridge = *process.bridge;
  if (bridge.done || bridge.speechInputReceived) return;
  bridge.fail(message::kSpeechInputIncomplete);
}

}  // namespace

void startSpeechInput(Process& process) {
  MainLoop& loop = process.platform.loop;
  StandardStreams& streams = process.platform.streams;
  loop.runInBackground([&streams, &loop, &process] { readSpeechInput(streams, loop, process); });
  loop.postAfter(kSpeechInputDeadlineSeconds, [&process] { speechInputDeadline(process); });
  // The voice speak() will most likely take, so that it can start loading.
  SpeechSynthesis& synthesis = process.platform.synthesis;
  const std::optional<std::string> chosen = valueAfter(process.args, "--voice");
  if (!chosen) {
    synthesis.prepareToSpeak(synthesis.voiceWithLanguage(process.locale));
  } else if (const std::optional<SpeechVoice> voice = synthesis.voiceWithIdentifier(*chosen)) {
    synthesis.prepareToSpeak(voice);
  }
}

}  // namespace speech_bridge
