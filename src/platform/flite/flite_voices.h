// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "platform/speech_synthesis.h"

namespace speech_bridge {

// A voice of Flite's, as Debian's libflite1 installs it: a shared library of
// its own, loaded only when the voice speaks.
struct FliteVoice {
  SpeechVoice voice;
  std::string library;       // what dlopen() is given
  std::string registration;  // returns the voice: cst_voice* (const char* voxdir)
  std::string unregistration;
  int sampleRate;  // of the samples the voice makes
  // Flite's duration_stretch: how much longer than the voice's own pace each
  // sound lasts. The diphone voices (kal16, kal) run at about 250 words a
  // minute on a short sentence, far faster than the speakers recorded for
  // rms, slt and awb (190 to 210); slowed to their pace, kal16 is followed
  // better by listeners and by our own recognizer.
  float durationStretch;
};

// Flite's voices, the default voice first. Fixed: listing them loads nothing.
// Identifiers begin with "flite/".
const std::vector<FliteVoice>& fliteVoices();

// The default voice for a language tag that Flite's voices speak: English,
// or American English ("en", "en-US", "en_US", "en-US-…"; letter case
// alike, a POSIX locale's ".UTF-8" or "@…" ignored). Nothing for any other
// tag, British English included.
const FliteVoice* fliteVoiceForLanguage(const std::string& languageTag);

}  // namespace speech_bridge
