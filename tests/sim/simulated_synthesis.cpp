// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/simulated_synthesis.h"

#include <gtest/gtest.h>

#include "sim/simulated_main_loop.h"

namespace speech_bridge::sim {
namespace {

class SimulatedSynthesizer final : public SpeechSynthesizer {
 public:
  explicit SimulatedSynthesizer(SimulatedSynthesis& synthesis)
      : synthesis_(synthesis), alive_(std::make_shared<bool>(true)) {}

  void setDelegate(std::weak_ptr<SpeechSynthesizerDelegate> delegate) override {
    record("setDelegate");
    delegate_ = std::move(delegate);
  }

  void speakUtterance(std::shared_ptr<const SpeechUtterance> utterance) override {
    record("speakUtterance(" + utterance->text + ", " +
           (utterance->voice ? utterance->voice->identifier : std::string("default voice")) + ")");
    if (synthesis_.scripts.empty()) {
      ADD_FAILURE() << "an utterance that no test scripted: " << utterance->text;
      return;
    }
    const UtteranceScript script = synthesis_.scripts.front();
    synthesis_.scripts.pop_front();
    auto speaking = std::make_shared<Speaking>(Speaking{std::move(utterance), false});
    speaking_.push_back(speaking);
    if (script.ending == UtteranceScript::Ending::neverEnds) return;
    deliverLater(speaking, script.afterSeconds, script.ending == UtteranceScript::Ending::finishes);
  }

  void stopSpeakingAtBoundary(SpeechBoundary boundary) override {
    record(boundary == SpeechBoundary::immediate ? "stopSpeakingAtBoundary(immediate)"
                                                 : "stopSpeakingAtBoundary(word)");
    // Whatever was scripted for the utterances under way, they are cancelled
    // now, and their callbacks come after this call has returned.
    for (const auto& speaking : speaking_) {
      if (!speaking->ended) deliverLater(speaking, synthesis_.cancelDelayAfterStop, false);
    }
  }

 private:
  struct Speaking {
    std::shared_ptr<const SpeechUtterance> utterance;
    bool ended;
  };

  void record(const std::string& description) {
    synthesis_.calls.push_back({description, synthesis_.loop().now(), synthesis_.linesWritten()});
  }

  void deliverLater(const std::shared_ptr<Speaking>& speaking, double seconds, bool finished) {
    std::weak_ptr<bool> alive = alive_;
    SimulatedSynthesis& synthesis = synthesis_;
    synthesis.loop().schedulePlatformEvent(
        synthesis.loop().now() + seconds, [this, alive, &synthesis, speaking, finished] {
          // One callback per utterance: the first ending wins.
          if (alive.expired() || speaking->ended) return;
          speaking->ended = true;
          synthesis.deliveries.push_back(
              {finished ? "finish" : "cancel", synthesis.loop().now(), synthesis.linesWritten()});
          const auto delegate = delegate_.lock();
          if (!delegate) return;
          if (finished) {
            delegate->speechSynthesizerDidFinishSpeechUtterance(*this, *speaking->utterance);
          } else {
            delegate->speechSynthesizerDidCancelSpeechUtterance(*this, *speaking->utterance);
          }
        });
  }

  SimulatedSynthesis& synthesis_;
  std::shared_ptr<bool> alive_;  // callbacks still queued find it expired
  std::weak_ptr<SpeechSynthesizerDelegate> delegate_;
  std::vector<std::shared_ptr<Speaking>> speaking_;
};

}  // namespace

SimulatedSynthesis::~SimulatedSynthesis() {
  if (!scripts.empty()) ADD_FAILURE() << scripts.size() << " scripted utterance(s) never spoken";
}

std::vector<std::string> SimulatedSynthesis::callDescriptions() const {
  std::vector<std::string> descriptions;
  for (const Call& call : calls) descriptions.push_back(call.description);
  return descriptions;
}

std::unique_ptr<SpeechSynthesizer> SimulatedSynthesis::makeSynthesizer() {
  ++synthesizersMade;
  return std::make_unique<SimulatedSynthesizer>(*this);
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
