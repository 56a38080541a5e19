// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/messages.h"
#include "bridge/speech_bridge.h"
#include "platform/file_system.h"
#include "platform/main_loop.h"
#include "platform/recognition_service.h"

namespace speech_bridge {
namespace {

constexpr double kTranscriptionDeadlineSeconds = 20.0;

}  // namespace

void SpeechBridge::transcribe(const std::string& path, const std::string& locale) {
  const std::string file = platform_.files.absolutePath(path);
  if (!platform_.files.fileExistsAtPath(file)) {
    fail(message::kAudioFileMissing);
    return;
  }
  authorize(locale, false, [weak = weak_from_this(), file](std::shared_ptr<SpeechRecognizer> recognizer) {
    const std::shared_ptr<SpeechBridge> bridge = weak.lock();
    if (!bridge || bridge->done) return;
    bridge->recognition(recognizer, bridge->platform().recognition.makeUrlRequest(file));
    bridge->emit("ready", {{"mode", std::string("transcribe-file")}, {"on_device", true}});
    // Counted from "ready": time spent asking for permission does not count.
    bridge->platform().loop.postAfter(kTranscriptionDeadlineSeconds, [weak] {
      if (const std::shared_ptr<SpeechBridge> late = weak.lock()) {
        late->fail(message::kTranscriptionTooSlow);
      }
    });
  });
}

}  // namespace speech_bridge
