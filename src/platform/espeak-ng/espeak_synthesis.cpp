// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/espeak-ng/espeak_synthesis.h"

#include "platform/espeak-ng/espeak_engine.h"
#include "platform/espeak-ng/espeak_voice_choice.h"
#include "platform/audio/engine_synthesizer.h"
#include "platform/audio/default_audio_output.h"

namespace speech_bridge {

std::unique_ptr<SpeechSynthesizer> EspeakSynthesis::makeSynthesizer() {
  return std::make_unique<EngineSynthesizer>(loop_, speaker_);
}

std::vector<SpeechVoice> EspeakSynthesis::speechVoices() {
  std::vector<SpeechVoice> voices;
  for (const EspeakVoice& entry : EspeakEngine::shared().inventory()) voices.push_back(entry.voice);
  return voices;
}

std::optional<SpeechVoice> EspeakSynthesis::voiceWithIdentifier(const std::string& identifier) {
  for (const EspeakVoice& entry : EspeakEngine::shared().inventory()) {
    if (entry.voice.identifier == identifier) return entry.voice;
  }
  return std::nullopt;
}

std::optional<SpeechVoice> EspeakSynthesis::voiceWithLanguage(const std::string& languageTag) {
  const EspeakVoice* entry = voiceForLanguage(EspeakEngine::shared().inventory(), languageTag);
  if (!entry) return std::nullopt;
  return entry->voice;
}

void EspeakSynthesis::prepareToSpeak(const std::optional<SpeechVoice>&) {
  if (prepared_.exchange(true)) return;
  // Both take tens of milliseconds; done while the text is still coming,
  // they are not between "ready" and the first sound.
  EspeakEngine& engine = EspeakEngine::shared();
  engine.submit([&engine] {
    engine.startSynthesis();
    prepareAudioOutput();
  });
}

}  // namespace speech_bridge
