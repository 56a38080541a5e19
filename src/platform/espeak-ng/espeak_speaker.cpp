// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/espeak-ng/espeak_speaker.h"

#include <algorithm>
#include <string>

#include "platform/espeak-ng/espeak_engine.h"

namespace speech_bridge {
namespace {

// eSpeak NG reads text up to its first NUL; U+0000 is valid UTF-8 and must
// not cut the rest of the text off.
std::string textForEngine(const std::string& text) {
  std::string result = text;
  std::replace(result.begin(), result.end(), '\0', ' ');
  return result;
}

}  // namespace

void EspeakSpeaker::submit(std::function<void()> task) { EspeakEngine::shared().submit(std::move(task)); }

bool EspeakSpeaker::speak(SpokenUtterance& output) {
  EspeakEngine& engine = EspeakEngine::shared();
  if (!engine.startSynthesis()) return false;
  const auto& voice = output.utterance().voice;
  if (!(voice ? engine.selectVoice(voice->identifier) : engine.selectDefaultVoice())) return false;
  if (!output.open(engine.sampleRate())) return false;
  return engine.synthesize(
      textForEngine(output.utterance().text),
      [&](const std::int16_t* samples, std::size_t count) { return output.write(samples, count); },
      [&](std::size_t firstSample) { output.wordStartsAt(firstSample); });
}

}  // namespace speech_bridge
