// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/flite/flite_speaker.h"
#include "platform/speech_synthesis.h"

namespace speech_bridge {

class MainLoop;

// Flite's voices, and synthesizers that speak on the default output. Listing and
// looking up voices loads nothing; a voice's library is loaded when it first
// speaks, or when speaking with it is prepared.
class FliteSynthesis final : public SpeechSynthesis {
 public:
  // The loop that delivers the synthesizers' callbacks.
  explicit FliteSynthesis(MainLoop& loop) : loop_(loop) {}

  std::unique_ptr<SpeechSynthesizer> makeSynthesizer() override;
  std::vector<SpeechVoice> speechVoices() override;
  std::optional<SpeechVoice> voiceWithIdentifier(const std::string& identifier) override;
  std::optional<SpeechVoice> voiceWithLanguage(const std::string& languageTag) override;
  void prepareToSpeak(const std::optional<SpeechVoice>& voice) override;

 private:
  MainLoop& loop_;
  FliteSpeaker speaker_;
};

}  // namespace speech_bridge
