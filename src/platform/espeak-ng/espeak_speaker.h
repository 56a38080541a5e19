// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/audio/utterance_speaker.h"

namespace speech_bridge {

// Speaks utterances with eSpeak NG on its engine thread.
class EspeakSpeaker final : public UtteranceSpeaker {
 public:
  void submit(std::function<void()> task) override;
  bool speak(SpokenUtterance& output) override;
};

}  // namespace speech_bridge
