// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

struct cst_voice_struct;

namespace speech_bridge {

struct FliteVoice;

// A Flite voice's library, loaded, and the voice it registers. Unregisters
// the voice and lets go of the library when destroyed. On Flite's thread only.
class FliteVoiceLibrary {
 public:
  // Nothing when the library cannot be loaded or registers no voice.
  static std::unique_ptr<FliteVoiceLibrary> load(const FliteVoice& voice);
  ~FliteVoiceLibrary();

  FliteVoiceLibrary(const FliteVoiceLibrary&) = delete;
  FliteVoiceLibrary& operator=(const FliteVoiceLibrary&) = delete;

  cst_voice_struct* voice() const { return voice_; }

 private:
  using Unregistration = void (*)(cst_voice_struct*);
  FliteVoiceLibrary(void* handle, cst_voice_struct* voice, Unregistration unregister)
      : handle_(handle), voice_(voice), unregister_(unregister) {}

  void* handle_;
  cst_voice_struct* voice_;
  Unregistration unregister_;
};

}  // namespace speech_bridge
