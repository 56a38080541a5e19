// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/flite/flite_voice_library.h"

#include <dlfcn.h>
#include <flite/flite.h>

#include "platform/flite/flite_errors.h"
#include "platform/flite/flite_voices.h"

namespace speech_bridge {

std::unique_ptr<FliteVoiceLibrary> FliteVoiceLibrary::load(const FliteVoice& voice) {
  // Loaded here rather than linked: each voice's library carries tens of
  // thousands of relocations, which would cost every job's start. Never
  // unmapped: Flite's lexicon and language libraries, loaded with it, keep
  // what they set up once in their own variables.
  void* handle = dlopen(voice.library.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (!handle) return nullptr;
  struct Registering {
    cst_voice* (*registration)(const char* voxdir);
    cst_voice* voice = nullptr;
  } registering{reinterpret_cast<cst_voice* (*)(const char*)>(dlsym(handle, voice.registration.c_str()))};
  auto unreg = reinterpret_cast<Unregistration>(dlsym(handle, voice.unregistration.c_str()));
  if (registering.registration && unreg) {
    callCatchingFliteErrors(
        [](void* context) {
          auto& r = *static_cast<Registering*>(context);
          r.voice = r.registration(nullptr);
        },
        &registering);
  }
  cst_voice* const registered = registering.voice;
  if (!registered) {
    dlclose(handle);
    return nullptr;
  }
  return std::unique_ptr<FliteVoiceLibrary>(new FliteVoiceLibrary(handle, registered, unreg));
}

FliteVoiceLibrary::~FliteVoiceLibrary() {
  unregister_(voice_);
  dlclose(handle_);
}

}  // namespace speech_bridge
