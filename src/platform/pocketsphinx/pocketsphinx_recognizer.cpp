// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pocketsphinx/pocketsphinx_recognizer.h"

#include "platform/pocketsphinx/audio_file_source.h"
#include "platform/pocketsphinx/decoding_task.h"
#include "platform/pocketsphinx/live_audio_request.h"

namespace speech_bridge {
namespace {

// Stands in for the audio of a request this recognizer cannot read, so the
// task ends with a readable error like any other.
class UnreadableRequestSource final : public AudioSource {
 public:
  std::optional<std::string> open(int) override {
    return "This kind of recognition request carries no audio the recognizer can read";
  }
  AudioRead read(std::span<std::int16_t>) override { return {}; }
  void endInput() override {}
};

std::shared_ptr<AudioSource> audioSourceFor(const std::shared_ptr<RecognitionRequest>& request) {
  if (const auto file = std::dynamic_pointer_cast<UrlRecognitionRequest>(request)) {
    return std::make_shared<AudioFileSource>(file->path());
  }
  if (const auto live = std::dynamic_pointer_cast<LiveAudioRequest>(request)) return live->source();
  return std::make_shared<UnreadableRequestSource>();
}

}  // namespace

std::shared_ptr<RecognitionTask> PocketsphinxRecognizer::recognitionTask(std::shared_ptr<RecognitionRequest> request,
                                                                         RecognitionResultHandler handler) {
  const bool live = std::dynamic_pointer_cast<LiveAudioRequest>(request) != nullptr;
  DecodingOptions options;
  // Someone is waiting for the final text of live audio; one pass gives it at once.
  options.passes = live ? SearchPasses::one : SearchPasses::two;
  options.grammarFile = request->grammarFile();
  options.pronunciationFile = request->pronunciationFile();
  options.recording = !live;
  return std::make_shared<DecodingTask>(model_, audioSourceFor(request), request->shouldReportPartialResults(),
                                        std::move(handler), std::move(options));
}

}  // namespace speech_bridge
