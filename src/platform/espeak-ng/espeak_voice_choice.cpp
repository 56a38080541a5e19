// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/espeak-ng/espeak_voice_choice.h"

#include "platform/espeak-ng/espeak_language_tag.h"
#include "platform/language_tag.h"

namespace speech_bridge {
namespace {

// "en-gb-x-rp" → "en-gb": drops the last subtag, and a singleton that the
// drop would leave at the end.
std::string shorterTag(const std::string& tag) {
  std::string shorter = tag.substr(0, tag.rfind('-') == std::string::npos ? 0 : tag.rfind('-'));
  const std::size_t last = shorter.rfind('-');
  if (last != std::string::npos && shorter.size() - last == 2) shorter.resize(last);
  return shorter;
}

const EspeakVoice* bestSpeakerOf(const std::vector<EspeakVoice>& voices, const std::string& language) {
  const EspeakVoice* best = nullptr;
  int bestPriority = 0;
  for (const EspeakVoice& voice : voices) {
    for (const auto& [priority, name] : voice.languages) {
      // eSpeak NG's own spelling, or the tag the listing shows for it.
      const bool speaks = canonicalVoiceTag(name) == language || canonicalVoiceTag(languageTagFromEspeak(name)) == language;
      if (speaks && (!best || priority < bestPriority)) {
        best = &voice;
        bestPriority = priority;
      }
    }
  }
  return best;
}

}  // namespace

const EspeakVoice* voiceForLanguage(const std::vector<EspeakVoice>& voices, const std::string& languageTag) {
  for (std::string tag = canonicalVoiceTag(languageTag); !tag.empty(); tag = shorterTag(tag)) {
    if (const EspeakVoice* voice = bestSpeakerOf(voices, tag)) return voice;
  }
  return nullptr;
}

}  // namespace speech_bridge
