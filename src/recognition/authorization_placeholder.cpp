#include "bridge/speech_bridge.h"

namespace speech_bridge {

// Placeholders until authorization and recognition tasks are built.
void SpeechBridge::authorize(const std::string&, bool, StartCallback) { fail("recognition is not built yet"); }
void SpeechBridge::recognition(const std::shared_ptr<SpeechRecognizer>&, const std::shared_ptr<RecognitionRequest>&) {}

}  // namespace speech_bridge
