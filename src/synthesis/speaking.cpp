// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/messages.h"
#include "bridge/speech_bridge.h"
#include "bridge/unicode_text.h"
#include "platform/main_loop.h"

namespace speech_bridge {
namespace {

constexpr std::size_t kLongestSpeechText = 2000;
constexpr double kPlaybackDeadlineSeconds = 60.0;

}  // namespace

void SpeechBridge::speak(const std::string& text, const std::optional<std::string>& voice,
                         const std::string& locale) {
  if (trimWhitespaceAndNewlines(text).empty()) {
    fail(message::kSpeechTextEmpty);
    return;
  }
  // Counted on the text as received: surrounding whitespace is spoken too.
  if (graphemeClusterCount(text) > kLongestSpeechText) {
    fail(message::kSpeechTextTooLong);
    return;
  }
  auto utterance = std::make_shared<SpeechUtterance>();
  utterance->text = text;
  SpeechSynthesis& synthesis = platform_.synthesis;
  if (voice) {
    // A voice the host named and that is missing is an error, not a reason
    // to speak with another one.
    utterance->voice = synthesis.voiceWithIdentifier(*voice);
    if (!utterance->voice) {
      fail(message::kVoiceUnavailable);
      return;
    }
  } else {
    utterance->voice = synthesis.voiceWithLanguage(locale);
  }
  synthesizer->setDelegate(weak_from_this());
  emit("ready", {{"mode", std::string("speak")}});
  synthesizer->speakUtterance(std::move(utterance));
  platform_.loop.postAfter(kPlaybackDeadlineSeconds, [weakBridge = weak_from_this()] {
    const auto bridge = weakBridge.lock();
    if (!bridge || bridge->done) return;
    bridge->synthesizer->stopSpeakingAtBoundary(SpeechBoundary::immediate);
    bridge->fail(message::kPlaybackTooLong);
  });
}

// The synthesizer delivers both on the main thread. Neither tests anything:
// completion acts once, so a cancel caused by the playback deadline's own stop
// is dropped.
void SpeechBridge::speechSynthesizerDidFinishSpeechUtterance(SpeechSynthesizer&, const SpeechUtterance&) {
  finish("final", {{"mode", std::string("speak")}}, 0);
}

void SpeechBridge::speechSynthesizerDidCancelSpeechUtterance(SpeechSynthesizer&, const SpeechUtterance&) {
  fail(message::kPlaybackCancelled);
}

}  // namespace speech_bridge
