// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace speech_bridge {

struct SpeechVoice {
  std::string identifier;  // what voiceWithIdentifier() accepts
  std::string name;        // display name
  std::string language;    // a tag of the form "en-US"
  // Where the synthesis that listed the voice finds it again: which of its
  // engines speaks it, and which of that engine's voices it is. So the voice
  // a job chose reaches its engine without being looked up again.
  std::size_t engine = 0;
  std::size_t engineVoice = 0;
};

struct SpeechUtterance {
  std::string text;
  std::optional<SpeechVoice> voice;  // none: the synthesizer's default voice
};

enum class SpeechBoundary { immediate = 0, word = 1 };

class SpeechSynthesizer;

// Receives the end of each utterance. Exactly one of the two is called per
// utterance that was handed to speakUtterance(), on the main thread, from a
// task of the main loop; never from inside a call into the synthesizer.
class SpeechSynthesizerDelegate {
 public:
  virtual ~SpeechSynthesizerDelegate() = default;
  virtual void speechSynthesizerDidFinishSpeechUtterance(SpeechSynthesizer& synthesizer,
                                                         const SpeechUtterance& utterance) = 0;
  virtual void speechSynthesizerDidCancelSpeechUtterance(SpeechSynthesizer& synthesizer,
                                                         const SpeechUtterance& utterance) = 0;
};

class SpeechSynthesizer {
 public:
  virtual ~SpeechSynthesizer() = default;

  // The delegate is held weakly; a delegate that is gone is not called.
  virtual void setDelegate(std::weak_ptr<SpeechSynthesizerDelegate> delegate) = 0;

  // Returns at once; speaking goes on in the background. The finish callback
  // comes after the last sample has been played.
  virtual void speakUtterance(std::shared_ptr<const SpeechUtterance> utterance) = 0;

  // With `immediate`, output is silenced at once; the cancel callback follows
  // later. Harmless when nothing is being spoken.
  virtual void stopSpeakingAtBoundary(SpeechBoundary boundary) = 0;
};

// The voices that can speak, and the synthesizer that speaks with them.
class SpeechSynthesis {
 public:
  virtual ~SpeechSynthesis() = default;

  // Cheap: the engine starts when the first utterance is spoken.
  virtual std::unique_ptr<SpeechSynthesizer> makeSynthesizer() = 0;

  // Every voice, in the engine's order. Possibly empty.
  virtual std::vector<SpeechVoice> speechVoices() = 0;

  // The voice whose identifier is exactly `identifier`, or nothing.
  virtual std::optional<SpeechVoice> voiceWithIdentifier(const std::string& identifier) = 0;

  // The voice for a language tag such as "en-US", or nothing.
  virtual std::optional<SpeechVoice> voiceWithLanguage(const std::string& languageTag) = 0;

  // A hint that an utterance is coming soon, most likely spoken with `voice`
  // (none: the default voice): the engine, the voice and the sound output may
  // start in the background now. Returns at once and changes nothing else;
  // speaking works the same without it.
  virtual void prepareToSpeak(const std::optional<SpeechVoice>& voice) = 0;
};

}  // namespace speech_bridge
