#include "app/real_platform.h"

#include "platform/espeak-ng/espeak_synthesis.h"
#include "platform/libplist/embedded_property_list.h"
#include "platform/portaudio/portaudio_capture.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_main_loop.h"
#include "platform/posix/posix_standard_streams.h"
#include "platform/posix/ungated_permissions.h"
#include "platform/recognition_service.h"

namespace speech_bridge {
namespace {

// Placeholder until recognition is built: no locale has a recognizer.
class UnbuiltRecognitionService final : public RecognitionService {
  void requestAuthorization(std::function<void(SpeechAuthorizationStatus)> completion) override {
    completion(SpeechAuthorizationStatus::denied);
  }
  std::shared_ptr<SpeechRecognizer> recognizerForLocale(const std::string&) override { return nullptr; }
  std::shared_ptr<AudioBufferRecognitionRequest> makeAudioBufferRequest() override { return nullptr; }
  std::shared_ptr<UrlRecognitionRequest> makeUrlRequest(const std::string& path) override {
    return std::make_shared<UrlRecognitionRequest>(path);
  }
};

}  // namespace

struct RealPlatform::Services {
  PosixMainLoop loop;
  PosixStandardStreams streams;
  PosixFileSystem files;
  EmbeddedPropertyList infoDictionary;
  UngatedPermissions permissions;
  UnbuiltRecognitionService recognition;
  PortAudioCapture audioCapture;
  EspeakSynthesis synthesis{loop};
};

RealPlatform::RealPlatform()
    : services_(std::make_unique<Services>()),
      platform_(std::make_unique<Platform>(Platform{services_->loop, services_->streams, services_->files,
                                                    services_->infoDictionary, services_->permissions,
                                                    services_->recognition, services_->audioCapture,
                                                    services_->synthesis})) {}

RealPlatform::~RealPlatform() = default;

}  // namespace speech_bridge
