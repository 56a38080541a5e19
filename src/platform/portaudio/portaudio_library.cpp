#include "platform/portaudio/portaudio_library.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <portaudio.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>

// PortAudio's own diagnostic hook; not in its public header.
extern "C" {
typedef void PaUtilLogCallback(const char* log);
void PaUtil_SetDebugPrintFunction(PaUtilLogCallback* callback);
}

namespace speech_bridge {
namespace {

void ignoreAlsaMessage(const char*, int, const char*, int, const char*, ...) {}
void ignoreMessage(const char*) {}

// Points file descriptor 2 at /dev/null for its lifetime. Some ALSA plugins
// write to stderr directly, past every handler: the JACK plugin warns while
// PortAudio probes it whenever the executable's name is long.
class StandardErrorSilenced {
 public:
  StandardErrorSilenced() {
    std::fflush(stderr);
    saved_ = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0) {
      ::dup2(null, STDERR_FILENO);
      ::close(null);
    }
  }
  ~StandardErrorSilenced() {
    std::fflush(stderr);
    if (saved_ >= 0) {
      ::dup2(saved_, STDERR_FILENO);
      ::close(saved_);
    }
  }
  StandardErrorSilenced(const StandardErrorSilenced&) = delete;
  StandardErrorSilenced& operator=(const StandardErrorSilenced&) = delete;

 private:
  int saved_ = -1;
};

}  // namespace

bool startPortAudio() {
  static std::once_flag once;
  static bool started = false;
  std::call_once(once, [] {
    snd_lib_error_set_handler(&ignoreAlsaMessage);
    jack_set_error_function(&ignoreMessage);
    jack_set_info_function(&ignoreMessage);
    PaUtil_SetDebugPrintFunction(&ignoreMessage);
    const StandardErrorSilenced silenced;
    started = Pa_Initialize() == paNoError;
  });
  return started;
}

}  // namespace speech_bridge
