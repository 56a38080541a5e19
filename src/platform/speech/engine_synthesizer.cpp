// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/speech/engine_synthesizer.h"

#include <algorithm>

#include "platform/main_loop.h"
#include "platform/speech/speech_engine.h"
#include "platform/speech/spoken_utterance.h"

namespace speech_bridge {

// What the posted callbacks reach; main thread only. Gone with the synthesizer.
struct EngineSynthesizer::Callbacks {
  SpeechSynthesizer* synthesizer = nullptr;
  std::weak_ptr<SpeechSynthesizerDelegate> delegate;
  std::vector<std::shared_ptr<SpokenUtterance>> unfinished;  // handed over, not yet reported
};

EngineSynthesizer::EngineSynthesizer(MainLoop& loop, AudioOutput& output,
                                     std::vector<std::reference_wrapper<SpeechEngine>> engines)
    : loop_(loop), output_(output), engines_(std::move(engines)), callbacks_(std::make_shared<Callbacks>()) {
  callbacks_->synthesizer = this;
}

EngineSynthesizer::~EngineSynthesizer() {
  for (const auto& speech : callbacks_->unfinished) speech->stop();
  for (const auto& speech : callbacks_->unfinished) speech->waitUntilReleased();
}

void EngineSynthesizer::setDelegate(std::weak_ptr<SpeechSynthesizerDelegate> delegate) {
  callbacks_->delegate = std::move(delegate);
}

void EngineSynthesizer::speakUtterance(std::shared_ptr<const SpeechUtterance> utterance) {
  const auto& voice = utterance->voice;
  SpeechEngine& engine = engines_[voice ? voice->engine : engines_.size() - 1];
  const SpeechEngine::VoiceIndex index = voice ? SpeechEngine::VoiceIndex(voice->engineVoice) : std::nullopt;
  auto speech = std::make_shared<SpokenUtterance>(std::move(utterance), output_);
  callbacks_->unfinished.push_back(speech);
  MainLoop& loop = loop_;
  std::weak_ptr<Callbacks> callbacks = callbacks_;
  engine.submit([speech, &loop, &engine, index, callbacks] {
    const bool spoken = !speech->stopped() && engine.speak(index, speech->utterance().text, *speech);
    const bool heard = speech->finish(spoken);
    // The device is closed by now; the delegate hears of the end on the main
    // thread, never from inside a call into the synthesizer.
    loop.post([speech, callbacks, heard] {
      const auto reachable = callbacks.lock();
      if (!reachable) return;
      auto& unfinished = reachable->unfinished;
      unfinished.erase(std::remove(unfinished.begin(), unfinished.end(), speech), unfinished.end());
      const auto delegate = reachable->delegate.lock();
      if (!delegate) return;
      if (heard) {
        delegate->speechSynthesizerDidFinishSpeechUtterance(*reachable->synthesizer, speech->utterance());
      } else {
        delegate->speechSynthesizerDidCancelSpeechUtterance(*reachable->synthesizer, speech->utterance());
      }
    });
    speech->release();
  });
}

void EngineSynthesizer::stopSpeakingAtBoundary(SpeechBoundary boundary) {
  for (const auto& speech : callbacks_->unfinished) {
    if (boundary == SpeechBoundary::immediate) {
      speech->stop();
    } else {
      speech->stopAfterWord();
    }
  }
}

}  // namespace speech_bridge
