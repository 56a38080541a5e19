// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/flite/flite_voice_library.h"

#include <dlfcn.h>
#include <flite/flite.h>

#include "platform/flite/flite_voices.h"

namespace speech_bridge {

std::unique_ptr<FliteVoiceLibrary> FliteVoiceLibrary::load(const FliteVoice& voice) {
  // Loaded here rather than linked: each voice's library carries tens of
  // thousands of relocations, which would cost every job's start.
  void* handle = dlopen(voice.library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) return nullptr;
  using Registration = cst_voice* (*)(const char*);
  auto reg = reinterpret_cast<Registration>(dlsym(handle, voice.registration.c_str()));
  auto unreg = reinterpret_cast<Unregistration>(dlsym(handle, voice.unregistration.c_str()));
  cst_voice* registered = reg && unreg ? reg(nullptr) : nullptr;
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
