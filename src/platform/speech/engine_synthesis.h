// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/speech/speech_engine.h"
#include "platform/speech_synthesis.h"

namespace speech_bridge {

class AudioOutput;
class MainLoop;

// Several engines' voices as one synthesis, so that whoever speaks never
// needs to know which engine does; the one place where an engine's voices
// become the platform's. The engines come in an order:
// - the voices are the first engine's, then the next one's, and so on; an
//   identifier that an engine lists is that engine's alone, and a later
//   engine's voice of that identifier is left out, so every listed
//   identifier names one voice;
// - a language is looked up in each engine in turn;
// - each utterance is spoken by the engine of its voice, the voice as this
//   synthesis listed it; one without a voice by the last engine, with its
//   default voice.
// Utterances are played on `output`, one after another, and their callbacks
// come from tasks of `loop`. The loop, the output and the engines outlive
// this object and the synthesizers it makes.
class EngineSynthesis final : public SpeechSynthesis {
 public:
  // At least one engine.
  EngineSynthesis(MainLoop& loop, AudioOutput& output, std::vector<std::reference_wrapper<SpeechEngine>> engines)
      : loop_(loop), output_(output), engines_(std::move(engines)) {}

  std::unique_ptr<SpeechSynthesizer> makeSynthesizer() override;
  std::vector<SpeechVoice> speechVoices() override;
  std::optional<SpeechVoice> voiceWithIdentifier(const std::string& identifier) override;
  std::optional<SpeechVoice> voiceWithLanguage(const std::string& languageTag) override;
  // Submits the engine's and the voice's loading, and the output's, to the
  // engine's thread.
  void prepareToSpeak(const std::optional<SpeechVoice>& voice) override;

 private:
  // An engine's own voice (`index` of its list), as this synthesis lists it.
  static SpeechVoice listed(const SpeechVoice& own, std::size_t engine, std::size_t index);

  MainLoop& loop_;
  AudioOutput& output_;
  std::vector<std::reference_wrapper<SpeechEngine>> engines_;
};

}  // namespace speech_bridge
