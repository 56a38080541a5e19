// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/speech_synthesis.h"

namespace speech_bridge {

// Two engines' voices as one synthesis, so that whoever speaks never needs to
// know which engine does:
// - the voices are `first`'s, then `second`'s; an identifier that `first`
//   lists is `first`'s alone, and `second`'s voice of that identifier is
//   left out, so every listed identifier names one voice;
// - a language is looked up in `first`, then in `second`;
// - each utterance is spoken by the engine of its voice; one without a voice
//   by `second`, with its default voice.
// Both engines outlive this object and the synthesizers it makes.
class RoutedSynthesis final : public SpeechSynthesis {
 public:
  RoutedSynthesis(SpeechSynthesis& first, SpeechSynthesis& second) : first_(first), second_(second) {}

  std::unique_ptr<SpeechSynthesizer> makeSynthesizer() override;
  std::vector<SpeechVoice> speechVoices() override;
  std::optional<SpeechVoice> voiceWithIdentifier(const std::string& identifier) override;
  std::optional<SpeechVoice> voiceWithLanguage(const std::string& languageTag) override;
  void prepareToSpeak(const std::optional<SpeechVoice>& voice) override;

 private:
  // Whether `first` speaks the voice.
  bool isFirsts(const std::optional<SpeechVoice>& voice);

  SpeechSynthesis& first_;
  SpeechSynthesis& second_;
};

}  // namespace speech_bridge
