#include "sim/simulated_synthesis.h"

#include <gtest/gtest.h>

#include "sim/simulated_main_loop.h"

namespace speech_bridge::sim {
namespace {

class SimulatedSynthesizer final : public SpeechSynthesizer {
 public:
  void setDelegate(std::weak_ptr<SpeechSynthesizerDelegate>) override {
    ADD_FAILURE() << "unexpected setDelegate";
  }
  void speakUtterance(std::shared_ptr<const SpeechUtterance>) override {
    ADD_FAILURE() << "unexpected speakUtterance";
  }
  void stopSpeakingAtBoundary(SpeechBoundary) override { ADD_FAILURE() << "unexpected stopSpeakingAtBoundary"; }
};

}  // namespace

std::unique_ptr<SpeechSynthesizer> SimulatedSynthesis::makeSynthesizer() {
  ++synthesizersMade;
  return std::make_unique<SimulatedSynthesizer>();
}

std::optional<SpeechVoice> SimulatedSynthesis::voiceWithIdentifier(const std::string& identifier) {
  for (const SpeechVoice& voice : voices) {
    if (voice.identifier == identifier) return voice;
  }
  return std::nullopt;
}

std::optional<SpeechVoice> SimulatedSynthesis::voiceWithLanguage(const std::string& languageTag) {
  for (const SpeechVoice& voice : voices) {
    if (voice.language == languageTag) return voice;
  }
  return std::nullopt;
}

}  // namespace speech_bridge::sim
