// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/audio/utterance_speaker.h"

namespace speech_bridge {

// Speaks utterances with Flite on its engine thread; an utterance without a
// voice with Flite's default voice.
class FliteSpeaker final : public UtteranceSpeaker {
 public:
  void submit(std::function<void()> task) override;
  bool speak(SpokenUtterance& output) override;
};

}  // namespace speech_bridge
