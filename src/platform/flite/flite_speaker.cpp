// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/flite/flite_speaker.h"

#include "platform/flite/flite_engine.h"
#include "platform/flite/flite_voices.h"

namespace speech_bridge {

void FliteSpeaker::submit(std::function<void()> task) { FliteEngine::shared().submit(std::move(task)); }

bool FliteSpeaker::speak(SpokenUtterance& output) {
  const auto& chosen = output.utterance().voice;
  const FliteVoice* voice = chosen ? fliteVoiceWithIdentifier(chosen->identifier) : &fliteVoices().front();
  FliteEngine& engine = FliteEngine::shared();
  if (!voice || !engine.loadVoice(*voice) || !output.open(voice->sampleRate)) return false;
  bool sampleRateAsOpened = true;
  const bool synthesized = engine.synthesize(
      *voice, output.utterance().text,
      [&](int sampleRate, const std::int16_t* samples, std::size_t count) {
        sampleRateAsOpened = sampleRate == voice->sampleRate;
        return sampleRateAsOpened && output.write(samples, count);
      },
      [&](std::size_t firstSample) { output.wordStartsAt(firstSample); });
  return synthesized && sampleRateAsOpened;
}

}  // namespace speech_bridge
