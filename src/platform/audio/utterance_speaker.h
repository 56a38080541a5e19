// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include "platform/audio/spoken_utterance.h"

namespace speech_bridge {

// A speech engine as EngineSynthesizer drives it: a thread of its own that
// runs tasks in order, and on that thread, the speaking of one utterance.
class UtteranceSpeaker {
 public:
  virtual ~UtteranceSpeaker() = default;

  // Runs `task` on the engine's thread after every task submitted before it.
  // Any thread.
  virtual void submit(std::function<void()> task) = 0;

  // On the engine's thread: synthesises the utterance with its voice (the
  // engine's default voice when it has none), opening `output` and writing
  // the samples to it as they come. False when the engine or the device
  // failed; a synthesis that `output` cut short counts as done.
  virtual bool speak(SpokenUtterance& output) = 0;
};

}  // namespace speech_bridge
