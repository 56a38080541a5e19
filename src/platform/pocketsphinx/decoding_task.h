// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/pocketsphinx/audio_source.h"
#include "platform/pocketsphinx/speech_model.h"
#include "platform/pocketsphinx/sphinx_decoder.h"
#include "platform/pocketsphinx/word_pronunciations.h"
#include "platform/recognition_service.h"

namespace speech_bridge {

// How a task decodes, besides its source and handler.
struct DecodingOptions {
  SearchPasses passes = SearchPasses::two;
  // Restricts recognition to the sentences of this grammar file.
  std::optional<std::string> grammarFile;
  // The host's pronunciations for the grammar's words (see pronounceGrammarWords()).
  std::optional<std::string> pronunciationFile;
  // Who reads the grammar's words that no other rule pronounces.
  WordReaders wordReaders;
  // The source is a recording, whose audio may be read ahead: a grammar task
  // then normalises the sound of the whole utterance from the start, as
  // PocketSphinx's batch tools do, rather than learning it as it goes.
  bool recording = false;
  // Live under a grammar: whenever the speech pauses, the words so far are
  // judged as a final text is, and an interim text says so at once. For a
  // host that ends listening at a pause, which waits longer after words that
  // are no whole sentence: the sentence the search leads with may lag behind
  // the words while free phones fit the speech better.
  bool judgeAtPauses = false;
};

// One recognition task on its own thread: opens the audio source, loads the
// model (and, given a grammar file, compiles the grammar on a second thread
// meanwhile), decodes the audio as the source yields it, and reports through
// the handler: interim texts (the best hypothesis so far, once per
// kInterimSeconds of audio, changed or not) and then one final
// text, or one error. Where the audio comes from is the source's business.
// Audio that ends before any of it came, or that ends while the model is
// still loading without any speech in it (see AudioSource::endedWithoutSpeech),
// has the empty final text, which does not wait for the model to load.
//
// Under a grammar all the speech is one sentence of it, and speech that is
// none gives an empty final text; a grammar that cannot be used ends the task
// with its error before any interim or final text.
class DecodingTask final : public RecognitionTask {
 public:
  static constexpr double kInterimSeconds = 0.1;
  // How much of a recording a grammar task hears before it decodes, to
  // normalise its sound.
  static constexpr double kReadAheadSeconds = 30.0;

  // Starts at once; the handler is never called from inside the constructor.
  // The handler runs on the task's thread and must not call back into the task.
  DecodingTask(SpeechModel model, std::shared_ptr<AudioSource> source, bool reportInterimResults,
               RecognitionResultHandler handler, DecodingOptions options = {});

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
  // Waits for the model; false when the audio ended without speech first.
  bool waitForModelOrSilentEnd(std::future<LoadedDecoder>& loading);
  // Reads up to kReadAheadSeconds of a recording; false after reporting an error.
  bool readAhead(std::vector<std::int16_t>& samples);
  bool isCancelled();
  // Calls the handler unless cancelled; `next` is the state afterwards.
  // False when cancelled.
  bool report(std::optional<RecognitionResult> result, std::optional<RecognitionError> error, State next);

  const SpeechModel model_;
  const std::shared_ptr<AudioSource> source_;
  const bool reportInterimResults_;
  const DecodingOptions options_;
  const RecognitionResultHandler handler_;

  // Held while the handler runs, so that cancel() waits out a report.
  std::mutex mutex_;
  State state_ = State::loadingModel;

  std::thread thread_;  // last: it starts once everything above is ready
};

}  // namespace speech_bridge
