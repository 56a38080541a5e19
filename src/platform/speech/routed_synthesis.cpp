// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/speech/routed_synthesis.h"

#include <functional>
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
  RoutedSynthesizer(std::function<bool(const std::optional<SpeechVoice>&)> isFirsts,
                    std::unique_ptr<SpeechSynthesizer> first, std::unique_ptr<SpeechSynthesizer> second)
      : isFirsts_(std::move(isFirsts)),
        forwarding_(std::make_shared<ForwardingDelegate>(*this)),
        first_(std::move(first)),
        second_(std::move(second)) {}

  void setDelegate(std::weak_ptr<SpeechSynthesizerDelegate> delegate) override {
    forwarding_->forwardTo(std::move(delegate));
    first_->setDelegate(forwarding_);
    second_->setDelegate(forwarding_);
  }

  void speakUtterance(std::shared_ptr<const SpeechUtterance> utterance) override {
    SpeechSynthesizer& engine = isFirsts_(utterance->voice) ? *first_ : *second_;
    engine.speakUtterance(std::move(utterance));
  }

  void stopSpeakingAtBoundary(SpeechBoundary boundary) override {
    first_->stopSpeakingAtBoundary(boundary);
    second_->stopSpeakingAtBoundary(boundary);
  }

 private:
  std::function<bool(const std::optional<SpeechVoice>&)> isFirsts_;
  std::shared_ptr<ForwardingDelegate> forwarding_;
  // Last: gone first, so that no callback of theirs is delivered after.
  std::unique_ptr<SpeechSynthesizer> first_;
  std::unique_ptr<SpeechSynthesizer> second_;
};

}  // namespace

bool RoutedSynthesis::isFirsts(const std::optional<SpeechVoice>& voice) {
  return voice && first_.voiceWithIdentifier(voice->identifier);
}

std::unique_ptr<SpeechSynthesizer> RoutedSynthesis::makeSynthesizer() {
  return std::make_unique<RoutedSynthesizer>([this](const auto& voice) { return isFirsts(voice); },
                                             first_.makeSynthesizer(), second_.makeSynthesizer());
}

std::vector<SpeechVoice> RoutedSynthesis::speechVoices() {
  std::vector<SpeechVoice> voices = first_.speechVoices();
  std::set<std::string> taken;
  for (const SpeechVoice& voice : voices) taken.insert(voice.identifier);
  for (SpeechVoice& voice : second_.speechVoices()) {
    if (!taken.count(voice.identifier)) voices.push_back(std::move(voice));
  }
  return voices;
}

std::optional<SpeechVoice> RoutedSynthesis::voiceWithIdentifier(const std::string& identifier) {
  if (auto voice = first_.voiceWithIdentifier(identifier)) return voice;
  return second_.voiceWithIdentifier(identifier);
}

std::optional<SpeechVoice> RoutedSynthesis::voiceWithLanguage(const std::string& languageTag) {
  if (auto voice = first_.voiceWithLanguage(languageTag)) return voice;
  return second_.voiceWithLanguage(languageTag);
}

void RoutedSynthesis::prepareToSpeak(const std::optional<SpeechVoice>& voice) {
  (isFirsts(voice) ? first_ : second_).prepareToSpeak(voice);
}

}  // namespace speech_bridge
