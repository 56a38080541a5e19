// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <vector>

#include "platform/speech_synthesis.h"

namespace speech_bridge {

class MainLoop;
class SpokenUtterance;
class UtteranceSpeaker;

// Speaks utterances with one engine on its thread, one after another, and
// plays them on the default output device. Each utterance ends with one
// delegate callback, posted to the main loop: the finish once its last sample
// has been heard, the cancel when it was stopped, when there is no usable
// output device, or when the engine or the device failed.
//
// Construction is cheap: the engine and the output start with the first
// utterance. Main thread only.
class EngineSynthesizer final : public SpeechSynthesizer {
 public:
  // `speaker` outlives the synthesizer.
  EngineSynthesizer(MainLoop& loop, UtteranceSpeaker& speaker);
  // Stops what is being spoken and waits until the engine's thread has let go
  // of it; callbacks not yet delivered are dropped.
  ~EngineSynthesizer() override;

  void setDelegate(std::weak_ptr<SpeechSynthesizerDelegate> delegate) override;
  void speakUtterance(std::shared_ptr<const SpeechUtterance> utterance) override;
  // `word` lets the word being heard end first (an utterance not yet heard
  // stops at once). Either way the utterance ends with the cancel callback.
  void stopSpeakingAtBoundary(SpeechBoundary boundary) override;

  struct Callbacks;

 private:
  MainLoop& loop_;
  UtteranceSpeaker& speaker_;
  std::shared_ptr<Callbacks> callbacks_;
};

}  // namespace speech_bridge
