// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/flite/flite_synthesis.h"

#include "platform/flite/flite_engine.h"
#include "platform/flite/flite_voices.h"
#include "platform/audio/engine_synthesizer.h"
#include "platform/audio/default_audio_output.h"

namespace speech_bridge {

std::unique_ptr<SpeechSynthesizer> FliteSynthesis::makeSynthesizer() {
  return std::make_unique<EngineSynthesizer>(loop_, speaker_);
}

std::vector<SpeechVoice> FliteSynthesis::speechVoices() {
  std::vector<SpeechVoice> voices;
  for (const FliteVoice& entry : fliteVoices()) voices.push_back(entry.voice);
  return voices;
}

std::optional<SpeechVoice> FliteSynthesis::voiceWithIdentifier(const std::string& identifier) {
  const FliteVoice* entry = fliteVoiceWithIdentifier(identifier);
  if (!entry) return std::nullopt;
  return entry->voice;
}

std::optional<SpeechVoice> FliteSynthesis::voiceWithLanguage(const std::string& languageTag) {
  const FliteVoice* entry = fliteVoiceForLanguage(languageTag);
  if (!entry) return std::nullopt;
  return entry->voice;
}

void FliteSynthesis::prepareToSpeak(const std::optional<SpeechVoice>& voice) {
  const FliteVoice* entry = voice ? fliteVoiceWithIdentifier(voice->identifier) : &fliteVoices().front();
  if (!entry) return;
  // Loading a voice and connecting to the sound server take tens of milliseconds; done
  // while the text is still coming, they are not between "ready" and the
  // first sound.
  FliteEngine& engine = FliteEngine::shared();
  engine.submit([&engine, entry] {
    engine.loadVoice(*entry);
    prepareAudioOutput();
  });
}

}  // namespace speech_bridge
