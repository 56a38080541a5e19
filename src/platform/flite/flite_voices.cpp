// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/flite/flite_voices.h"

#include "platform/language_tag.h"

namespace speech_bridge {
namespace {

FliteVoice voice(const std::string& name, const std::string& who, int sampleRate, float durationStretch) {
  const std::string module = "cmu_us_" + name;
  return {{"flite/" + name, "Flite " + name + " (" + who + ")", "en-US"},
          "libflite_" + module + ".so.1",
          "register_" + module,
          "unregister_" + module,
          sampleRate,
          durationStretch};
}

}  // namespace

const std::vector<FliteVoice>& fliteVoices() {
  // The first is the one our recognizer understands best: of 36 ship orders
  // spoken, recorded at the speaker and transcribed (bench/round_trip.py),
  // each voice at its pace below, kal16 32 to 36 % word errors (42 % at its own
  // pace), rms 56 %, slt 70 %, awb 80 %, kal over 100 %.
  static const std::vector<FliteVoice> voices = {
      voice("kal16", "American English, male, diphones", 16000, 1.3F),
      voice("rms", "American English, male", 16000, 1.0F),
      voice("slt", "American English, female", 16000, 1.0F),
      voice("awb", "American English, Scottish male", 16000, 1.0F),
      voice("kal", "American English, male, diphones, 8 kHz", 8000, 1.3F),
  };
  return voices;
}

const FliteVoice* fliteVoiceForLanguage(const std::string& languageTag) {
  return isAmericanEnglishTag(languageTag) ? &fliteVoices().front() : nullptr;
}

}  // namespace speech_bridge
