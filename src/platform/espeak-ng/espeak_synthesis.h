#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/speech_synthesis.h"

namespace speech_bridge {

// "en-us" → "en-US", "cmn-latn-pinyin" → "cmn-Latn-pinyin": the language in
// lower case, regions in upper case, scripts in title case, and everything
// after a singleton ("x-…") in lower case.
std::string languageTagFromEspeak(const std::string& language);

// eSpeak NG's voice inventory and synthesizer.
class EspeakSynthesis final : public SpeechSynthesis {
 public:
  std::unique_ptr<SpeechSynthesizer> makeSynthesizer() override;
  std::vector<SpeechVoice> speechVoices() override;
  std::optional<SpeechVoice> voiceWithIdentifier(const std::string& identifier) override;
  std::optional<SpeechVoice> voiceWithLanguage(const std::string& languageTag) override;

 private:
  const std::vector<SpeechVoice>& voices();

  std::once_flag listed_;
  std::vector<SpeechVoice> voices_;
};

}  // namespace speech_bridge
