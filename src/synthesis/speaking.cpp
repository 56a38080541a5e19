#include "bridge/speech_bridge.h"

namespace speech_bridge {

// The synthesizer delivers both on the main thread. Neither tests anything:
// completion acts once, so a cancel caused by the playback deadline's own stop
// is dropped.
void SpeechBridge::speechSynthesizerDidFinishSpeechUtterance(SpeechSynthesizer&, const SpeechUtterance&) {
  finish("final", {{"mode", std::string("speak")}}, 0);
}

void SpeechBridge::speechSynthesizerDidCancelSpeechUtterance(SpeechSynthesizer&, const SpeechUtterance&) {
  fail("Speech playback cancelled");
}

}  // namespace speech_bridge
