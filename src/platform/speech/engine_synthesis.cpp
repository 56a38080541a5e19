// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/speech/engine_synthesis.h"

#include <set>

#include "platform/audio_output.h"
#include "platform/speech/engine_synthesizer.h"

namespace speech_bridge {

SpeechVoice EngineSynthesis::listed(const SpeechVoice& own, std::size_t engine, std::size_t index) {
  SpeechVoice voice = own;
  voice.engine = engine;
  voice.engineVoice = index;
  return voice;
}

std::unique_ptr<SpeechSynthesizer> EngineSynthesis::makeSynthesizer() {
  return std::make_unique<EngineSynthesizer>(loop_, output_, engines_);
}

std::vector<SpeechVoice> EngineSynthesis::speechVoices() {
  std::vector<SpeechVoice> voices;
  std::set<std::string> taken;
  for (std::size_t engine = 0; engine < engines_.size(); ++engine) {
    const std::vector<SpeechVoice>& own = engines_[engine].get().voices();
    for (std::size_t index = 0; index < own.size(); ++index) {
      if (taken.insert(own[index].identifier).second) voices.push_back(listed(own[index], engine, index));
    }
  }
  return voices;
}

std::optional<SpeechVoice> EngineSynthesis::voiceWithIdentifier(const std::string& identifier) {
  for (std::size_t engine = 0; engine < engines_.size(); ++engine) {
    const std::vector<SpeechVoice>& own = engines_[engine].get().voices();
    for (std::size_t index = 0; index < own.size(); ++index) {
      if (own[index].identifier == identifier) return listed(own[index], engine, index);
    }
  }
  return std::nullopt;
}

std::optional<SpeechVoice> EngineSynthesis::voiceWithLanguage(const std::string& languageTag) {
  for (std::size_t engine = 0; engine < engines_.size(); ++engine) {
    SpeechEngine& speaker = engines_[engine];
    if (const SpeechEngine::VoiceIndex index = speaker.voiceForLanguage(languageTag)) {
      return listed(speaker.voices()[*index], engine, *index);
    }
  }
  return std::nullopt;
}

void EngineSynthesis::prepareToSpeak(const std::optional<SpeechVoice>& voice) {
  SpeechEngine& engine = engines_[voice ? voice->engine : engines_.size() - 1];
  const SpeechEngine::VoiceIndex index = voice ? SpeechEngine::VoiceIndex(voice->engineVoice) : std::nullopt;
  AudioOutput& output = output_;
  engine.submit([&engine, &output, index] {
    engine.prepare(index);
    output.prepare();
  });
}

}  // namespace speech_bridge
