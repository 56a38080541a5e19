// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "platform/speech_synthesis.h"

namespace speech_bridge {

// A voice of Festival's as its packages install it: a folder
// `<voices>/<language>/<name>/` whose `festvox/<name>.scm` defines it.
struct FestivalVoice {
  SpeechVoice voice;   // identifier "festival/<name>"
  std::string name;    // Festival's own: voice_<name> selects it
  std::string folder;  // the voice's folder, ending in "/"
};

// The folder where Festival's packages put their voices.
const std::string& festivalVoicesFolder();

// The voices under `voicesFolder`, found as Festival finds them, without
// loading any: every `<language>/<name>/festvox/<name>.scm` that is a regular
// file. A voice is left out when its language folder names no language this
// knows, or its name holds anything but letters, digits and "_" (it becomes
// a Scheme symbol); a name found twice is listed once, from the first of its
// folders by name. Sorted by identifier; nothing when the folder is missing.
std::vector<FestivalVoice> findFestivalVoices(const std::string& voicesFolder);

// The installed voices (found once, under festivalVoicesFolder()).
const std::vector<FestivalVoice>& festivalVoices();

// The installed voice with exactly this identifier, or nothing.
const FestivalVoice* festivalVoiceWithIdentifier(const std::string& identifier);

// The voice that speaks a language by default: for English and American
// English (as for Flite), the statistical voice cmu_us_slt_arctic_hts when
// it is installed, the most natural of Debian's and the one our own
// recognizer follows best. Nothing otherwise: another engine's voice speaks.
const FestivalVoice* festivalVoiceForLanguage(const std::string& languageTag);

}  // namespace speech_bridge
