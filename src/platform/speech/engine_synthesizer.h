// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/speech_synthesis.h"

namespace speech_bridge {

class AudioOutput;
class MainLoop;
class SpeechEngine;

// Speaks each utterance with the engine of its voice (the last engine when it
// has none), on that engine's thread, and plays it on the output. Each
// utterance ends with one delegate callback, posted to the main loop: the
// finish once its last sample has been heard, the cancel when it was
// stopped, when there is no usable output device, or when the engine or the
// device failed.
//
// Construction is cheap: the engines and the output start with the first
// utterance. Main thread only.
class EngineSynthesizer final : public SpeechSynthesizer {
 public:
  // The loop, the output and the engines outlive the synthesizer; utterances'
  // voices are as EngineSynthesis listed them over the same engines.
  EngineSynthesizer(MainLoop& loop, AudioOutput& output, std::vector<std::reference_wrapper<SpeechEngine>> engines);
  // Stops what is being spoken and waits until the engines' threads have let
  // go of it; callbacks not yet delivered are dropped.
  ~EngineSynthesizer() override;

  void setDelegate(std::weak_ptr<SpeechSynthesizerDelegate> delegate) override;
  void speakUtterance(std::shared_ptr<const SpeechUtterance> utterance) override;
  // `word` lets the word being heard end first (an utterance not yet heard
  // stops at once). Either way the utterance ends with the cancel callback.
  void stopSpeakingAtBoundary(SpeechBoundary boundary) override;

  struct Callbacks;

 private:
  MainLoop& loop_;
  AudioOutput& output_;
  std::vector<std::reference_wrapper<SpeechEngine>> engines_;
  std::shared_ptr<Callbacks> callbacks_;
};

}  // namespace speech_bridge
