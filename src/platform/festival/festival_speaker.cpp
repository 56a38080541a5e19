// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/festival/festival_speaker.h"

#include "platform/festival/festival_engine.h"
#include "platform/festival/festival_voices.h"

namespace speech_bridge {

void FestivalSpeaker::submit(std::function<void()> task) { FestivalEngine::shared().submit(std::move(task)); }

bool FestivalSpeaker::speak(SpokenUtterance& output) {
  const auto& chosen = output.utterance().voice;
  const FestivalVoice* voice = chosen ? festivalVoiceWithIdentifier(chosen->identifier) : nullptr;
  if (!voice) return false;
  FestivalEngine& engine = FestivalEngine::shared();
  const int sampleRate = engine.loadVoice(*voice);
  if (sampleRate == 0 || !output.open(sampleRate)) return false;
  return engine.synthesize(
      *voice, output.utterance().text,
      [&](const std::int16_t* samples, std::size_t count) { return output.write(samples, count); },
      [&](std::size_t firstSample) { output.wordStartsAt(firstSample); }, [&] { return !output.stopped(); });
}

}  // namespace speech_bridge
