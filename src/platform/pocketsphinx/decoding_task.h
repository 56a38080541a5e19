// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <mutex>
#include <thread>

#include "platform/pocketsphinx/audio_source.h"
#include "platform/pocketsphinx/speech_model.h"
#include "platform/pocketsphinx/sphinx_decoder.h"
#include "platform/recognition_service.h"

namespace speech_bridge {


// One recognition task on its own thread: opens the audio source, loads the
// model, decodes the audio as the source yields it, and reports through the
// handler: interim texts (the best hypothesis so far, when it has changed, at
// most once per kInterimSeconds of audio) and then one final text, or one
// error. Where the audio comes from is the source's business. Audio that ends
// before any of it came has the empty final text, which does not wait for
// the model to load.
class DecodingTask final : public RecognitionTask {
 public:
  static constexpr double kInterimSeconds = 0.1;

  // Starts at once; the handler is never called from inside the constructor.
  // The handler runs on the task's thread and must not call back into the task.
  DecodingTask(SpeechModel model, std::shared_ptr<AudioSource> source, bool reportInterimResults,
               RecognitionResultHandler handler, SearchPasses passes = SearchPasses::two);

  // Cancels and waits for the thread.
  ~DecodingTask() override;

  // The final text covers the audio the source has received so far.
  void finish() override;

  // Nothing is reported once this returns; decoding stops within one block.
  void cancel() override;

 private:
  enum class State { loadingModel, decoding, ended, cancelled };

  void run();
  void decode(std::unique_ptr<SphinxDecoder> decoder);
  bool isCancelled();
  // Calls the handler unless cancelled; `next` is the state afterwards.
  // False when cancelled.
  bool report(std::optional<RecognitionResult> result, std::optional<RecognitionError> error, State next);

  const SpeechModel model_;
  const std::shared_ptr<AudioSource> source_;
  const bool reportInterimResults_;
  const SearchPasses passes_;
  const RecognitionResultHandler handler_;

  // Held while the handler runs, so that cancel() waits out a report.
  std::mutex mutex_;
  State state_ = State::loadingModel;

  std::thread thread_;  // last: it starts once everything above is ready
};

}  // namespace speech_bridge
