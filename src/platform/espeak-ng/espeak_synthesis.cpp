#include "platform/espeak-ng/espeak_synthesis.h"

#include <espeak-ng/espeak_ng.h>
#include <espeak-ng/speak_lib.h>

#include <cctype>

namespace speech_bridge {

std::string languageTagFromEspeak(const std::string& language) {
  std::string tag;
  bool first = true;
  bool privateUse = false;  // after a singleton subtag, case carries no meaning
  std::size_t start = 0;
  while (start <= language.size()) {
    std::size_t end = language.find_first_of("-_", start);
    if (end == std::string::npos) end = language.size();
    std::string subtag = language.substr(start, end - start);
    for (char& c : subtag) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!first && !privateUse) {
      if (subtag.size() == 2) {
        for (char& c : subtag) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      } else if (subtag.size() == 4 && std::isalpha(static_cast<unsigned char>(subtag[0]))) {
        subtag[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(subtag[0])));
      } else if (subtag.size() == 1) {
        privateUse = true;
      }
    }
    if (!first) tag += '-';
    tag += subtag;
    first = false;
    start = end + 1;
  }
  return tag;
}

const std::vector<SpeechVoice>& EspeakSynthesis::voices() {
  std::call_once(listed_, [this] {
    espeak_ng_InitializePath(nullptr);
    const espeak_VOICE** list = espeak_ListVoices(nullptr);
    for (; list && *list; ++list) {
      const espeak_VOICE& voice = **list;
      // `languages` is a priority byte, then the first language name.
      const char* language = voice.languages ? voice.languages + 1 : "";
      voices_.push_back({voice.identifier ? voice.identifier : "", voice.name ? voice.name : "",
                         languageTagFromEspeak(language)});
    }
  });
  return voices_;
}

std::vector<SpeechVoice> EspeakSynthesis::speechVoices() { return voices(); }

std::optional<SpeechVoice> EspeakSynthesis::voiceWithIdentifier(const std::string& identifier) {
  for (const SpeechVoice& voice : voices()) {
    if (voice.identifier == identifier) return voice;
  }
  return std::nullopt;
}

// Placeholder until speaking is built: no voice is chosen by language yet.
std::optional<SpeechVoice> EspeakSynthesis::voiceWithLanguage(const std::string&) { return std::nullopt; }

// Placeholder until speaking is built: a synthesizer that never speaks.
std::unique_ptr<SpeechSynthesizer> EspeakSynthesis::makeSynthesizer() {
  class Silent final : public SpeechSynthesizer {
    void setDelegate(std::weak_ptr<SpeechSynthesizerDelegate>) override {}
    void speakUtterance(std::shared_ptr<const SpeechUtterance>) override {}
    void stopSpeakingAtBoundary(SpeechBoundary) override {}
  };
  return std::make_unique<Silent>();
}

}  // namespace speech_bridge
