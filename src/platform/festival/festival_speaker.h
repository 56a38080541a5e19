// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/audio/utterance_speaker.h"

namespace speech_bridge {

// Speaks utterances with Festival on its engine thread. An utterance without
// a voice, or with one that Festival does not list, cannot be spoken.
class FestivalSpeaker final : public UtteranceSpeaker {
 public:
  void submit(std::function<void()> task) override;
  bool speak(SpokenUtterance& output) override;
};

}  // namespace speech_bridge
