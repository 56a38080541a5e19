// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "platform/pocketsphinx/sphinx_decoder.h"
#include "platform/recognition_service.h"

namespace speech_bridge {

// Where one utterance ends and the next begins.
enum class Segmentation {
  // Wherever the speech pauses, as PocketSphinx's own continuous tool does.
  atPauses,
  // Nowhere: all the speech is one utterance, one sentence of a grammar
  // however the speaker pauses within it.
  none,
};

// Turns a stream of samples into readable text with one decoder: an
// utterance begins where the voice activity detector first hears speech and
// ends as the segmentation says; the words of each utterance are kept and
// joined. The decoder's memory thus stays bounded however long the audio
// runs; an utterance is cut after kMaxUtteranceSeconds for the same reason.
// Driven by one thread.
class StreamingTranscriber {
 public:
  static constexpr int kMaxUtteranceSeconds = 60;

  explicit StreamingTranscriber(std::unique_ptr<SphinxDecoder> decoder,
                                Segmentation segmentation = Segmentation::atPauses);

  // Any number of samples at the decoder's rate. Not after finish().
  void accept(std::span<const std::int16_t> samples);

  // The best text so far: every ended utterance and the current one.
  std::string text() const;

  // Under a grammar: `text` is a whole sentence of it.
  bool isSentence(const std::string& text) const { return decoder_->isSentence(text); }

  // Ends the last utterance and returns the text of all the audio. Once.
  std::string finish();

  // finish() as the final result: under a grammar, an empty text says
  // whether speech was heard and rejected, and a sentence comes with its
  // rules and tags.
  RecognitionResult finalResult();

  // Decodes `samples` (all the audio accepted so far, say) afresh, in place
  // of what was accepted, normalised from their own sound as a recording
  // is; accept() goes on after them. Returns the text that what was
  // accepted makes if it ended here, judged as finish() judges it. Not after
  // finish().
  std::string decodeAfresh(std::span<const std::int16_t> samples);

 private:
  enum class State { awaitingSpeech, inSpeech, finished };

  void acceptStep(std::span<const std::int16_t> samples);
  void keepUtterance();

  std::unique_ptr<SphinxDecoder> decoder_;
  const Segmentation segmentation_;
  State state_ = State::awaitingSpeech;
  std::string endedText_;
  bool rejected_ = false;  // an utterance with speech was judged no sentence
  std::size_t speechSamples_ = 0;  // of the current utterance
};

}  // namespace speech_bridge
