// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/speech_synthesis.h"

namespace speech_bridge {

// Several engines' voices as one synthesis, so that whoever speaks never
// needs to know which engine does. The engines come in an order:
// - the voices are the first engine's, then the next one's, and so on; an
//   identifier that an engine lists is that engine's alone, and a later
//   engine's voice of that identifier is left out, so every listed
//   identifier names one voice;
// - a language is looked up in each engine in turn;
// - each utterance is spoken by the engine of its voice; one without a voice
//   by the last engine, with its default voice.
// The engines outlive this object and the synthesizers it makes.
class RoutedSynthesis final : public SpeechSynthesis {
 public:
  // At least one engine.
  explicit RoutedSynthesis(std::vector<std::reference_wrapper<SpeechSynthesis>> engines)
      : engines_(std::move(engines)) {}

  std::unique_ptr<SpeechSynthesizer> makeSynthesizer() override;
  std::vector<SpeechVoice> speechVoices() override;
  std::optional<SpeechVoice> voiceWithIdentifier(const std::string& identifier) override;
  std::optional<SpeechVoice> voiceWithLanguage(const std::string& languageTag) override;
  void prepareToSpeak(const std::optional<SpeechVoice>& voice) override;

 private:
  // The position of the engine that speaks the voice.
  std::size_t engineOf(const std::optional<SpeechVoice>& voice);

  std::vector<std::reference_wrapper<SpeechSynthesis>> engines_;
};

}  // namespace speech_bridge
