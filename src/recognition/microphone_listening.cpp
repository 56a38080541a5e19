#include "bridge/speech_bridge.h"

namespace speech_bridge {

// Placeholder until listening is built.
void SpeechBridge::listen(const std::string&) { fail("--listen is not built yet"); }

}  // namespace speech_bridge
