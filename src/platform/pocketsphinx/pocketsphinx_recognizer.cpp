// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pocketsphinx/pocketsphinx_recognizer.h"

#include "platform/pocketsphinx/audio_file_source.h"
#include "platform/pocketsphinx/decoding_task.h"
#include "platform/pocketsphinx/live_audio_source.h"

namespace speech_bridge {
namespace {

// The audio of a request and how to decode it, by the request's kind.
class DecodingInput final : public RecognitionRequestKinds {
 public:
  void audioBuffers(AudioBufferRecognitionRequest& request) override {
    auto live = std::make_shared<LiveAudioSource>();
    if (request.speechActivityHandler()) {
      live->reportSpeechActivity(request.speechActivityHandler());
      options.judgeAtPauses = true;  // listening ends at a pause
    }
    request.connect(live);
    source = std::move(live);
    // Someone is waiting for the final text of live audio; one pass gives it at once.
    options.passes = SearchPasses::one;
  }

  void audioFile(UrlRecognitionRequest& request) override {
    source = std::make_shared<AudioFileSource>(request.path());
    options.passes = SearchPasses::two;
    options.recording = true;
  }

  std::shared_ptr<AudioSource> source;
  DecodingOptions options;
};

}  // namespace

std::shared_ptr<RecognitionTask> PocketsphinxRecognizer::recognitionTask(std::shared_ptr<RecognitionRequest> request,
                                                                         RecognitionResultHandler handler) {
  DecodingInput input;
  request->passKind(input);
  input.options.grammarFile = request->grammarFile();
  input.options.pronunciationFile = request->pronunciationFile();
  input.options.wordReaders = readers_;
  return std::make_shared<DecodingTask>(model_, std::move(input.source), request->shouldReportPartialResults(),
                                        std::move(handler), std::move(input.options));
}

}  // namespace speech_bridge
