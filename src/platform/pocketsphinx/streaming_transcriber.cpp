// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pocketsphinx/streaming_transcriber.h"

#include <algorithm>

#include "platform/pocketsphinx/transcript_text.h"

namespace speech_bridge {

StreamingTranscriber::StreamingTranscriber(std::unique_ptr<SphinxDecoder> decoder, Segmentation segmentation)
    : decoder_(std::move(decoder)), segmentation_(segmentation) {
  decoder_->startUtterance();
}

void StreamingTranscriber::accept(std::span<const std::int16_t> samples) {
  // The detector is asked after every step, so a large piece cannot hide
  // both the start and the end of speech inside one call.
  const std::size_t step = static_cast<std::size_t>(decoder_->sampleRate()) / 20;
  while (!samples.empty() && state_ != State::finished) {
    const std::size_t count = std::min(step, samples.size());
    acceptStep(samples.first(count));
    samples = samples.subspan(count);
  }
}

void StreamingTranscriber::acceptStep(std::span<const std::int16_t> samples) {
  decoder_->process(samples);
  const bool speech = decoder_->inSpeech();
  if (state_ == State::awaitingSpeech) {
    if (speech) {
      state_ = State::inSpeech;
      speechSamples_ = samples.size();
    }
    return;
  }
  speechSamples_ += samples.size();
  const std::size_t longest = static_cast<std::size_t>(kMaxUtteranceSeconds) * decoder_->sampleRate();
  const bool paused = !speech && segmentation_ == Segmentation::atPauses;
  if (paused || speechSamples_ >= longest) {
    decoder_->endUtterance();
    keepUtterance();
    decoder_->startUtterance();
    state_ = State::awaitingSpeech;
  }
}

std::string StreamingTranscriber::text() const {
  std::string text = endedText_;
  if (state_ == State::inSpeech) appendWords(text, readableTranscript(decoder_->hypothesis()));
  return text;
}

std::string StreamingTranscriber::finish() {
  if (state_ != State::finished) {
    decoder_->endUtterance();
    // Audio after the last speech holds no words; the engine's hypothesis
    // of mere noise there is dropped, as the continuous tool drops it.
    if (state_ == State::inSpeech) keepUtterance();
    state_ = State::finished;
  }
  return endedText_;
}

RecognitionResult StreamingTranscriber::finalResult() {
  RecognitionResult result{finish(), true};
  result.rejected = result.formattedString.empty() && rejected_;
  result.rules = decoder_->parse(result.formattedString);
  return result;
}

std::string StreamingTranscriber::decodeAfresh(std::span<const std::int16_t> samples) {
  if (state_ == State::finished) return {};
  std::string text = endedText_;
  const std::string judged = decoder_->restartUtterance(samples);
  if (state_ == State::inSpeech) appendWords(text, readableTranscript(judged));
  endedText_.clear();
  rejected_ = false;
  speechSamples_ = 0;
  state_ = State::awaitingSpeech;
  accept(samples);
  return text;
}

void StreamingTranscriber::keepUtterance() {
  appendWords(endedText_, readableTranscript(decoder_->hypothesis()));
  rejected_ = rejected_ || decoder_->lastRejected();
}

}  // namespace speech_bridge
