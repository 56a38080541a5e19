// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/speech_bridge.h"

#include "bridge/event_writer.h"
#include "platform/audio_capture.h"
#include "platform/recognition_service.h"
#include "platform/standard_streams.h"

namespace speech_bridge {

SpeechBridge::SpeechBridge(Platform& platform)
    : synthesizer(platform.synthesis.makeSynthesizer()), platform_(platform) {}

// Releases what the fields hold; a job that is still running is not stopped.
SpeechBridge::~SpeechBridge() = default;

void SpeechBridge::emit(const std::string& kind, const EventFields& fields) {
  writeEvent(platform_.streams, kind, fields);
}

void SpeechBridge::finish(const std::string& kind, const EventFields& fields, std::int32_t code) {
  if (done) return;
  done = true;
  exitCode = code;
  stopCapture();
  if (task) task->cancel();
  platform_.streams.clearInputReadabilityHandler();
  emit(kind, fields);
}

void SpeechBridge::fail(const std::string& message) { finish("error", {{"message", message}}, 1); }

void SpeechBridge::stopCapture() {
  if (engine) engine->stop();
  if (tapInstalled) {
    if (engine) engine->inputNode().removeTapOnBus(0);
    tapInstalled = false;
  }
}

}  // namespace speech_bridge
