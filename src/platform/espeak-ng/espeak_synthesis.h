// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "platform/espeak-ng/espeak_speaker.h"
#include "platform/speech_synthesis.h"

namespace speech_bridge {

class MainLoop;

// eSpeak NG's voices, and synthesizers that speak on the default output. Nothing
// starts before a voice is asked for or speaking is prepared.
class EspeakSynthesis final : public SpeechSynthesis {
 public:
  // The loop that delivers the synthesizers' callbacks.
  explicit EspeakSynthesis(MainLoop& loop) : loop_(loop) {}

  std::unique_ptr<SpeechSynthesizer> makeSynthesizer() override;
  std::vector<SpeechVoice> speechVoices() override;
  std::optional<SpeechVoice> voiceWithIdentifier(const std::string& identifier) override;
  std::optional<SpeechVoice> voiceWithLanguage(const std::string& languageTag) override;
  void prepareToSpeak(const std::optional<SpeechVoice>& voice) override;

 private:
  MainLoop& loop_;
  EspeakSpeaker speaker_;
  std::atomic<bool> prepared_{false};
};

}  // namespace speech_bridge
