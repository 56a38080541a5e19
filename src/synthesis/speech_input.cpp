#include "synthesis/speech_input.h"

#include "app/process.h"
#include "bridge/speech_bridge.h"

namespace speech_bridge {

// Placeholder until speaking is built.
void startSpeechInput(Process& process) { process.bridge->fail("--speak is not built yet"); }

}  // namespace speech_bridge
