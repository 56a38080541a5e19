// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/audio/engine_synthesizer.h"

#include <algorithm>

#include "platform/main_loop.h"
#include "platform/audio/spoken_utterance.h"
#include "platform/audio/utterance_speaker.h"

namespace speech_bridge {

// What the posted callbacks reach; main thread only. Gone with the synthesizer.
struct EngineSynthesizer::Callbacks {
  SpeechSynthesizer* synthesizer = nullptr;
  std::weak_ptr<SpeechSynthesizerDelegate> delegate;
  std::vector<std::shared_ptr<SpokenUtterance>> unfinished;  // handed over, not yet reported
};

EngineSynthesizer::EngineSynthesizer(MainLoop& loop, UtteranceSpeaker& speaker)
    : loop_(loop), speaker_(speaker), callbacks_(std::make_shared<Callbacks>()) {
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
  auto speech = std::make_shared<SpokenUtterance>(std::move(utterance));
  callbacks_->unfinished.push_back(speech);
  MainLoop& loop = loop_;
  UtteranceSpeaker& speaker = speaker_;
  std::weak_ptr<Callbacks> callbacks = callbacks_;
  speaker.submit([speech, &loop, &speaker, callbacks] {
    const bool heard = speech->finish(!speech->stopped() && speaker.speak(*speech));
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
