// SPDX-License-Identifier: GPL-3.0-or-later
#include "synthesis/voice_listing.h"

#include "bridge/speech_bridge.h"
#include "platform/speech_synthesis.h"

namespace speech_bridge {

void listVoices(SpeechBridge& bridge) {
  std::vector<FieldRecord> voices;
  for (const SpeechVoice& voice : bridge.platform().synthesis.speechVoices()) {
    voices.push_back({{"id", voice.identifier}, {"name", voice.name}, {"language", voice.language}});
  }
  bridge.finish("final", {{"voices", std::move(voices)}}, 0);
}

}  // namespace speech_bridge
