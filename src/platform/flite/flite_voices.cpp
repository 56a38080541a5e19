// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/flite/flite_voices.h"

#include <cctype>

namespace speech_bridge {
namespace {

FliteVoice voice(const std::string& name, const std::string& who, int sampleRate) {
  const std::string module = "cmu_us_" + name;
  return {{"flite/" + name, "Flite " + name + " (" + who + ")", "en-US"},
          "libflite_" + module + ".so.1",
          "register_" + module,
          "unregister_" + module,
          sampleRate};
}

}  // namespace

const std::vector<FliteVoice>& fliteVoices() {
  // The first is the one our recognizer understands best: of 36 ship orders
  // spoken, recorded at the speaker and transcribed (bench/round_trip.py),
  // kal16 38 % word errors, rms 56 %, slt 67 %, awb 85 %, kal over 100 %.
  static const std::vector<FliteVoice> voices = {
      voice("kal16", "American English, male, diphones", 16000),
      voice("rms", "American English, male", 16000),
      voice("slt", "American English, female", 16000),
      voice("awb", "American English, Scottish male", 16000),
      voice("kal", "American English, male, diphones, 8 kHz", 8000),
  };
  return voices;
}

const FliteVoice* fliteVoiceWithIdentifier(const std::string& identifier) {
  for (const FliteVoice& entry : fliteVoices()) {
    if (entry.voice.identifier == identifier) return &entry;
  }
  return nullptr;
}

const FliteVoice* fliteVoiceForLanguage(const std::string& languageTag) {
  std::string tag = languageTag.substr(0, languageTag.find_first_of(".@"));
  for (char& c : tag) c = c == '_' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const bool english = tag == "en" || tag == "en-us" || tag.rfind("en-us-", 0) == 0;
  return english ? &fliteVoices().front() : nullptr;
}

}  // namespace speech_bridge
