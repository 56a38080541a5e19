#include "bridge/speech_bridge.h"

namespace speech_bridge {

// Placeholder until file transcription is built.
void SpeechBridge::transcribe(const std::string&, const std::string&) {
  fail("--transcribe-file is not built yet");
}

}  // namespace speech_bridge
