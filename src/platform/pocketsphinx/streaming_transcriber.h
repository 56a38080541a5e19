// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "platform/pocketsphinx/sphinx_decoder.h"

namespace speech_bridge {

// Turns a stream of samples into readable text with one decoder, as
// PocketSphinx's own continuous tool does: an utterance ends where the voice
// activity detector hears the speech stop, its words are kept, and the next
// utterance begins. The decoder's memory thus stays bounded however long the
// audio runs; speech that never pauses is cut into utterances of at most
// kMaxUtteranceSeconds for the same reason. Driven by one thread.
class StreamingTranscriber {
 public:
  static constexpr int kMaxUtteranceSeconds = 60;

  explicit StreamingTranscriber(std::unique_ptr<SphinxDecoder> decoder);

  // Any number of samples at the decoder's rate. Not after finish().
  void accept(std::span<const std::int16_t> samples);

  // The best text so far: every ended utterance and the current one.
  std::string text() const;

  // Ends the last utterance and returns the text of all the audio. Once.
  std::string finish();

 private:
  enum class State { awaitingSpeech, inSpeech, finished };

  void acceptStep(std::span<const std::int16_t> samples);
  void keepUtterance();

  std::unique_ptr<SphinxDecoder> decoder_;
  State state_ = State::awaitingSpeech;
  std::string endedText_;
  std::size_t speechSamples_ = 0;  // of the current utterance
};

}  // namespace speech_bridge
