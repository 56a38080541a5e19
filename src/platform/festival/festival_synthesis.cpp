// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/festival/festival_synthesis.h"

#include "platform/festival/festival_engine.h"
#include "platform/festival/festival_voices.h"
#include "platform/audio/default_audio_output.h"
#include "platform/audio/engine_synthesizer.h"

namespace speech_bridge {

std::unique_ptr<SpeechSynthesizer> FestivalSynthesis::makeSynthesizer() {
  return std::make_unique<EngineSynthesizer>(loop_, speaker_);
}

std::vector<SpeechVoice> FestivalSynthesis::speechVoices() {
  std::vector<SpeechVoice> voices;
  for (const FestivalVoice& entry : festivalVoices()) voices.push_back(entry.voice);
  return voices;
}

std::optional<SpeechVoice> FestivalSynthesis::voiceWithIdentifier(const std::string& identifier) {
  const FestivalVoice* entry = festivalVoiceWithIdentifier(identifier);
  if (!entry) return std::nullopt;
  return entry->voice;
}

std::optional<SpeechVoice> FestivalSynthesis::voiceWithLanguage(const std::string& languageTag) {
  const FestivalVoice* entry = festivalVoiceForLanguage(languageTag);
  if (!entry) return std::nullopt;
  return entry->voice;
}

void FestivalSynthesis::prepareToSpeak(const std::optional<SpeechVoice>& voice) {
  const FestivalVoice* entry = voice ? festivalVoiceWithIdentifier(voice->identifier) : nullptr;
  if (!entry) return;
  // Festival's start, the voice's loading and its first sentence take a
  // few hundred milliseconds: done while the text is still coming, they are
  // not between "ready" and the first sound.
  FestivalEngine& engine = FestivalEngine::shared();
  engine.submit([&engine, entry] {
    engine.loadVoice(*entry);
    prepareAudioOutput();
  });
}

}  // namespace speech_bridge
