// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/festival/festival_speaker.h"
#include "platform/speech_synthesis.h"

namespace speech_bridge {

class MainLoop;

// Festival's installed voices, and synthesizers that speak with them. Listing
// and looking up voices starts nothing (the voices are found in their
// folders); Festival starts when speaking with one of its voices is prepared,
// or when one first speaks. It has no default voice of its own: an utterance
// without a voice is another engine's.
class FestivalSynthesis final : public SpeechSynthesis {
 public:
  // The loop that delivers the synthesizers' callbacks.
  explicit FestivalSynthesis(MainLoop& loop) : loop_(loop) {}

  std::unique_ptr<SpeechSynthesizer> makeSynthesizer() override;
  std::vector<SpeechVoice> speechVoices() override;
  std::optional<SpeechVoice> voiceWithIdentifier(const std::string& identifier) override;
  std::optional<SpeechVoice> voiceWithLanguage(const std::string& languageTag) override;
  void prepareToSpeak(const std::optional<SpeechVoice>& voice) override;

 private:
  MainLoop& loop_;
  FestivalSpeaker speaker_;
};

}  // namespace speech_bridge
