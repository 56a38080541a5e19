// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/messages.h"
#include "bridge/speech_bridge.h"
#include "platform/audio_capture.h"
#include "platform/main_loop.h"
#include "platform/recognition_service.h"

namespace speech_bridge {
namespace {

constexpr int kInputBus = 0;
constexpr std::uint32_t kTapBufferFrames = 1024;
constexpr double kListeningSeconds = 20.0;
constexpr double kFinalResultSeconds = 3.0;

// The start callback: main thread, once permission is granted.
void startCapture(SpeechBridge& bridge, const std::shared_ptr<SpeechRecognizer>& recognizer) {
  // A "stop" during authorization means no capture at all.
  if (bridge.done || bridge.finishing) return;
  Platform& platform = bridge.platform();
  bridge.engine = platform.audioCapture.makeEngine(CaptureRequest{bridge.cancelEcho});
  bridge.request = platform.recognition.makeAudioBufferRequest();
  AudioInputNode& input = bridge.engine->inputNode();
  const AudioFormat format = input.outputFormatForBus(kInputBus);
  if (!(format.sampleRate > 0.0) || format.channelCount == 0) {
    bridge.fail(message::kNoMicrophone);
    return;
  }
  if (bridge.stopOnSilenceSeconds) bridge.stopOnSilence(*bridge.request);
  // The task exists before the first buffer is captured.
  bridge.recognition(recognizer, bridge.request);
  input.installTapOnBus(kInputBus, kTapBufferFrames, format,
                        [request = bridge.request](const AudioPcmBuffer& buffer) {
                          request->appendAudioPcmBuffer(buffer);
                        });
  bridge.tapInstalled = true;
  bridge.engine->prepare();
  if (const auto error = bridge.engine->startAndReturnError()) {
    // Completion removes the tap and cancels the task.
    bridge.fail(message::kMicrophoneCouldNotStart + *error);
    return;
  }
  bridge.emit("ready", {{"mode", std::string("listen")}, {"on_device", true}});
  std::weak_ptr<SpeechBridge> weakBridge = bridge.weak_from_this();
  platform.loop.postAfter(kListeningSeconds, [weakBridge] {
    if (const auto bridge = weakBridge.lock()) bridge->stopListening();
  });
}

}  // namespace

void SpeechBridge::listen(const std::string& locale) {
  listenControls();
  std::weak_ptr<SpeechBridge> weakBridge = weak_from_this();
  authorize(locale, true, [weakBridge](std::shared_ptr<SpeechRecognizer> recognizer) {
    if (const auto bridge = weakBridge.lock()) startCapture(*bridge, recognizer);
  });
}

void SpeechBridge::stopListening() {
  if (done || finishing) return;
  finishing = true;
  stopCapture();
  // Not cancelled: the recognizer is to deliver its final result for what it heard.
  if (task) task->finish();
  std::weak_ptr<SpeechBridge> weakBridge = weak_from_this();
  platform_.loop.postAfter(kFinalResultSeconds, [weakBridge] {
    const auto bridge = weakBridge.lock();
    if (bridge && !bridge->done) bridge->fail(message::kNoFinalResult);
  });
}

}  // namespace speech_bridge
