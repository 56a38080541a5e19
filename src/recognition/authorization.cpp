// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/messages.h"
#include "bridge/speech_bridge.h"
#include "platform/main_loop.h"
#include "platform/permissions.h"
#include "platform/property_list.h"
#include "platform/recognition_service.h"

namespace speech_bridge {
namespace {

constexpr const char* kSpeechDescriptionKey = "NSSpeechRecognitionUsageDescription";
constexpr const char* kMicrophoneDescriptionKey = "NSMicrophoneUsageDescription";

// The microphone answer keeps the bridge alive until it arrives.
void askForMicrophone(const std::shared_ptr<SpeechBridge>& bridge, SpeechBridge::StartCallback start,
                      std::shared_ptr<SpeechRecognizer> recognizer) {
  MainLoop& loop = bridge->platform().loop;
  bridge->platform().permissions.requestMicrophoneAccess(
      [&loop, bridge, start = std::move(start), recognizer = std::move(recognizer)](bool granted) {
        loop.post([bridge, start, recognizer, granted] {
          if (bridge->done) return;
          if (!granted) {
            bridge->fail(message::kMicrophonePermissionDenied);
            return;
          }
          start(recognizer);
        });
      });
}

}  // namespace

void SpeechBridge::authorize(const std::string& locale, bool microphone, StartCallback start) {
  if (!platform_.infoDictionary.objectForInfoDictionaryKey(kSpeechDescriptionKey)) {
    fail(message::kSpeechUsageDescriptionMissing);
    return;
  }
  if (microphone && !platform_.infoDictionary.objectForInfoDictionaryKey(kMicrophoneDescriptionKey)) {
    fail(message::kMicrophoneUsageDescriptionMissing);
    return;
  }
  std::shared_ptr<SpeechRecognizer> created = platform_.recognition.recognizerForLocale(locale);
  if (!created || !created->supportsOnDeviceRecognition()) {
    fail(message::kLocaleUnavailable);
    return;
  }
  recognizer = created;

  MainLoop& loop = platform_.loop;
  platform_.recognition.requestAuthorization(
      [&loop, weak = weak_from_this(), microphone, start = std::move(start),
       created = std::move(created)](SpeechAuthorizationStatus status) {
        // Posted even when the answer comes on the main thread: the step
        // never runs inside the service's call.
        loop.post([weak, microphone, start, created, status] {
          const std::shared_ptr<SpeechBridge> bridge = weak.lock();
          if (!bridge || bridge->done) return;
          if (status != SpeechAuthorizationStatus::authorized) {
            bridge->fail(message::kSpeechPermissionDenied);
            return;
          }
          if (microphone) {
            askForMicrophone(bridge, start, created);
          } else {
            start(created);
          }
        });
      });
}

}  // namespace speech_bridge
