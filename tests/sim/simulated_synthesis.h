#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/speech_synthesis.h"

namespace speech_bridge::sim {

class SimulatedMainLoop;

// A voice inventory given by the test, and synthesizers that record what they
// were asked.
class SimulatedSynthesis final : public SpeechSynthesis {
 public:
  explicit SimulatedSynthesis(SimulatedMainLoop& loop) : loop_(loop) {}

  std::vector<SpeechVoice> voices;
  int synthesizersMade = 0;

  std::unique_ptr<SpeechSynthesizer> makeSynthesizer() override;
  std::vector<SpeechVoice> speechVoices() override { return voices; }
  std::optional<SpeechVoice> voiceWithIdentifier(const std::string& identifier) override;
  std::optional<SpeechVoice> voiceWithLanguage(const std::string& languageTag) override;

 private:
  SimulatedMainLoop& loop_;
};

}  // namespace speech_bridge::sim
