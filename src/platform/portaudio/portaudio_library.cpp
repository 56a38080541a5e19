// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/portaudio/portaudio_library.h"

#include <alsa/asoundlib.h>
#include <portaudio.h>

#include <mutex>

#include "platform/library/discarded_standard_error.h"

// PortAudio's own diagnostic hook; not in its public header.
extern "C" {
typedef void PaUtilLogCallback(const char* log);
void PaUtil_SetDebugPrintFunction(PaUtilLogCallback* callback);
}

namespace speech_bridge {
namespace {

void ignoreAlsaMessage(const char*, int, const char*, int, const char*, ...) {}
void ignoreMessage(const char*) {}

}  // namespace

bool startPortAudio() {
  static std::once_flag once;
  static bool started = false;
  std::call_once(once, [] {
    snd_lib_error_set_handler(&ignoreAlsaMessage);
    PaUtil_SetDebugPrintFunction(&ignoreMessage);
    // Some ALSA plugins print past every handler: the JACK plugin warns
    // while PortAudio probes it whenever the executable's name is long.
    discardStandardErrorStream();
    started = Pa_Initialize() == paNoError;
  });
  return started;
}

}  // namespace speech_bridge
