// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pocketsphinx/decoding_task.h"

#include <future>
#include <vector>

#include "platform/pocketsphinx/sphinx_decoder.h"
#include "platform/pocketsphinx/sphinx_logging.h"
#include "platform/pocketsphinx/streaming_transcriber.h"

namespace speech_bridge {
namespace {

// Samples decoded between two looks at cancellation: 50 ms of audio takes
// well under 50 ms to decode.
constexpr double kBlockSeconds = 0.05;

}  // namespace

DecodingTask::DecodingTask(SpeechModel model, std::shared_ptr<AudioSource> source, bool reportInterimResults,
                           RecognitionResultHandler handler, SearchPasses passes)
    : model_(std::move(model)),
      source_(std::move(source)),
      reportInterimResults_(reportInterimResults),
      passes_(passes),
      handler_(std::move(handler)),
      thread_([this] { run(); }) {}

DecodingTask::~DecodingTask() {
  cancel();
  if (thread_.joinable()) thread_.join();
}

void DecodingTask::finish() { source_->endInput(); }

void DecodingTask::cancel() {
  {
    std::lock_guard lock(mutex_);
    if (state_ != State::ended) state_ = State::cancelled;
  }
  source_->endInput();
}

bool DecodingTask::isCancelled() {
  std::lock_guard lock(mutex_);
  return state_ == State::cancelled;
}

bool DecodingTask::report(std::optional<RecognitionResult> result, std::optional<RecognitionError> error,
                          State next) {
  std::lock_guard lock(mutex_);
  if (state_ == State::cancelled) return false;
  state_ = next;
  handler_(std::move(result), std::move(error));
  return true;
}

void DecodingTask::run() {
  silenceSphinxLogging();
  if (auto problem = source_->open(model_.sampleRate)) {
    report(std::nullopt, RecognitionError{*problem}, State::ended);
    return;
  }
  // The model loads on a thread of its own (or, when no thread can be had,
  // at get()) while this one waits for audio: audio that ends before any of
  // it came needs no model, and its empty final text goes at once. The load
  // is then waited for after the report.
  std::future<LoadedDecoder> loading =
      std::async(std::launch::async | std::launch::deferred, [this] { return SphinxDecoder::load(model_, passes_); });
  if (!source_->waitForAudio()) {
    report(RecognitionResult{"", true}, std::nullopt, State::ended);
    return;
  }
  LoadedDecoder loaded = loading.get();
  if (!loaded.decoder) {
    report(std::nullopt, RecognitionError{loaded.error}, State::ended);
    return;
  }
  {
    std::lock_guard lock(mutex_);
    if (state_ == State::cancelled) return;
    state_ = State::decoding;
  }
  decode(std::move(loaded.decoder));
}

void DecodingTask::decode(std::unique_ptr<SphinxDecoder> decoder) {
  const int rate = decoder->sampleRate();
  StreamingTranscriber transcriber(std::move(decoder));
  std::vector<std::int16_t> block(static_cast<std::size_t>(rate * kBlockSeconds));
  const auto interimSamples = static_cast<std::size_t>(rate * kInterimSeconds);
  std::size_t samplesSinceInterim = 0;
  std::string lastInterim;

  while (!isCancelled()) {
    AudioRead got = source_->read(block);
    if (got.error) {
      report(std::nullopt, RecognitionError{*got.error}, State::ended);
      return;
    }
    if (got.samples == 0) break;
    transcriber.accept(std::span<const std::int16_t>(block.data(), got.samples));
    samplesSinceInterim += got.samples;
    if (!reportInterimResults_ || samplesSinceInterim < interimSamples) continue;
    samplesSinceInterim = 0;
    std::string text = transcriber.text();
    if (text == lastInterim) continue;
    lastInterim = text;
    if (!report(RecognitionResult{std::move(text), false}, std::nullopt, State::decoding)) return;
  }
  if (isCancelled()) return;
  report(RecognitionResult{transcriber.finish(), true}, std::nullopt, State::ended);
}

}  // namespace speech_bridge
