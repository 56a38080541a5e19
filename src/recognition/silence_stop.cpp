// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>

#include "bridge/speech_bridge.h"
#include "platform/main_loop.h"
#include "platform/recognition_service.h"

namespace speech_bridge {

void SpeechBridge::stopOnSilence(AudioBufferRecognitionRequest& live) {
  MainLoop& loop = platform_.loop;
  // Runs on the capture thread: it only hands the change to the main loop.
  live.setSpeechActivityHandler([&loop, weak = weak_from_this()](SpeechActivity activity) {
    loop.post([weak, activity] {
      if (const auto bridge = weak.lock()) bridge->heardSpeechActivity(activity);
    });
  });
}

void SpeechBridge::heardSpeechActivity(const SpeechActivity& activity) {
  if (done || finishing) return;
  ++silenceChecks;
  if (activity.speaking) {
    speechHeard = true;
    silentSince.reset();
    return;
  }
  // Before any speech nothing ends early.
  if (!speechHeard) return;
  silentSince = platform_.loop.now() - activity.silentSeconds;
  checkSilence();
}

void SpeechBridge::heardInterim(bool wholeSentence) {
  if (!stopOnSilenceSeconds || partialIsSentence == wholeSentence) return;
  partialIsSentence = wholeSentence;
  // The wait may have become shorter, or longer.
  if (silentSince && !done && !finishing) {
    ++silenceChecks;
    checkSilence();
  }
}

void SpeechBridge::checkSilence() {
  // A player who pauses inside an order is not cut off.
  const double needed = *stopOnSilenceSeconds * (grammarFile && !partialIsSentence ? 2.0 : 1.0);
  const double left = *silentSince + needed - platform_.loop.now();
  if (left <= 0.0) {
    stopListening();
    return;
  }
  platform_.loop.postAfter(left, [weak = weak_from_this(), check = silenceChecks] {
    const auto bridge = weak.lock();
    if (bridge && !bridge->done && !bridge->finishing && bridge->silenceChecks == check) bridge->checkSilence();
  });
}

}  // namespace speech_bridge
