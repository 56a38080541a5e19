// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/speech/routed_synthesis.h"

#include <set>

namespace speech_bridge {
namespace {

// Hands each engine's callbacks on as the routed synthesizer's own.
class ForwardingDelegate final : public SpeechSynthesizerDelegate {
 public:
  explicit ForwardingDelegate(SpeechSynthesizer& owner) : owner_(owner) {}

  void forwardTo(std::weak_ptr<SpeechSynthesizerDelegate> delegate) { delegate_ = std::move(delegate); }

  void speechSynthesizerDidFinishSpeechUtterance(SpeechSynthesizer&, const SpeechUtterance& utterance) override {
    if (const auto delegate = delegate_.lock()) delegate->speechSynthesizerDidFinishSpeechUtterance(owner_, utterance);
  }
  void speechSynthesizerDidCancelSpeechUtterance(SpeechSynthesizer&, const SpeechUtterance& utterance) override {
    if (const auto delegate = delegate_.lock()) delegate->speechSynthesizerDidCancelSpeechUtterance(owner_, utterance);
  }

 private:
  SpeechSynthesizer& owner_;
  std::weak_ptr<SpeechSynthesizerDelegate> delegate_;
};

class RoutedSynthesizer final : public SpeechSynthesizer {
 public:
  using Router = std::function<std::size_t(const std::optional<SpeechVoice>&)>;

  RoutedSynthesizer(Router engineOf, std::vector<std::unique_ptr<SpeechSynthesizer>> engines)
      : engineOf_(std::move(engineOf)),
        forwarding_(std::make_shared<ForwardingDelegate>(*this)),
        engines_(std::move(engines)) {}

  void setDelegate(std::weak_ptr<SpeechSynthesizerDelegate> delegate) override {
    forwarding_->forwardTo(std::move(delegate));
    for (const auto& engine : engines_) engine->setDelegate(forwarding_);
  }

  void speakUtterance(std::shared_ptr<const SpeechUtterance> utterance) override {
    engines_[engineOf_(utterance->voice)]->speakUtterance(std::move(utterance));
  }

  void stopSpeakingAtBoundary(SpeechBoundary boundary) override {
    for (const auto& engine : engines_) engine->stopSpeakingAtBoundary(boundary);
  }

 private:
  Router engineOf_;
  std::shared_ptr<ForwardingDelegate> forwarding_;
  // Last: gone first, so that no callback of theirs is delivered after.
  std::vector<std::unique_ptr<SpeechSynthesizer>> engines_;
};

}  // namespace

std::size_t RoutedSynthesis::engineOf(const std::optional<SpeechVoice>& voice) {
  if (voice) {
    for (std::size_t index = 0; index + 1 < engines_.size(); ++index) {
      if (engines_[index].get().voiceWithIdentifier(voice->identifier)) return index;
    }
  }
  return engines_.size() - 1;
}

std::unique_ptr<SpeechSynthesizer> RoutedSynthesis::makeSynthesizer() {
  std::vector<std::unique_ptr<SpeechSynthesizer>> synthesizers;
  for (SpeechSynthesis& engine : engines_) synthesizers.push_back(engine.makeSynthesizer());
  return std::make_unique<RoutedSynthesizer>([this](const auto& voice) { return engineOf(voice); },
                                             std::move(synthesizers));
}

std::vector<SpeechVoice> RoutedSynthesis::speechVoices() {
  std::vector<SpeechVoice> voices;
  std::set<std::string> taken;
  for (SpeechSynthesis& engine : engines_) {
    for (SpeechVoice& voice : engine.speechVoices()) {
      if (taken.insert(voice.identifier).second) voices.push_back(std::move(voice));
    }
  }
  return voices;
}

std::optional<SpeechVoice> RoutedSynthesis::voiceWithIdentifier(const std::string& identifier) {
  for (SpeechSynthesis& engine : engines_) {
    if (auto voice = engine.voiceWithIdentifier(identifier)) return voice;
  }
  return std::nullopt;
}

std::optional<SpeechVoice> RoutedSynthesis::voiceWithLanguage(const std::string& languageTag) {
  for (SpeechSynthesis& engine : engines_) {
    if (auto voice = engine.voiceWithLanguage(languageTag)) return voice;
  }
  return std::nullopt;
}

void RoutedSynthesis::prepareToSpeak(const std::optional<SpeechVoice>& voice) {
  engines_[engineOf(voice)].get().prepareToSpeak(voice);
}

}  // namespace speech_bridge
