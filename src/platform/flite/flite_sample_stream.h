// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "platform/flite/flite_engine.h"
#include "platform/speech/sample_blocks.h"

struct cst_wave_struct;
struct cst_audio_streaming_info_struct;
struct cst_utterance_struct;

namespace speech_bridge {

// The samples of one text as Flite's stream callback hands them over,
// sentence by sentence, passed on to a consumer. Flite pads every sentence
// with a pause at both ends: the pause before the first sentence is left out,
// so that sound starts at once, and the pause after the last one too, so that
// the end comes when the speech ends; the pauses between sentences are kept.
// Where each word starts is heard in order, counted in the samples passed on.
// On Flite's thread only.
class FliteSampleStream {
 public:
  FliteSampleStream(const FliteEngine::SampleConsumer& consume, const FliteEngine::WordListener& words,
                    std::size_t blockSamples)
      : blocks_(
            blockSamples,
            [this, &consume](const std::int16_t* samples, std::size_t count) {
              return consume(passingRate_, samples, count);
            },
            words) {}

  // Flite's stream callback; the stream is the information's `userdata`.
  static int receive(const cst_wave_struct* wave, int start, int size, int last,
                     cst_audio_streaming_info_struct* info);

 private:
  void beginSentence(cst_utterance_struct* sentence, int sampleRate);
  // Passes samples on in blocks; false once the consumer wants no more.
  bool pass(int sampleRate, const std::int16_t* samples, std::size_t count);

  static constexpr std::size_t kNowhere = std::numeric_limits<std::size_t>::max();

  int passingRate_ = 0;  // of the samples being passed on
  SampleBlocks blocks_;
  bool firstSentence_ = true;
  // Of the sentence under way, counted from its first sample: what is left
  // out, and where its closing pause begins.
  std::size_t leftOutBefore_ = 0;
  std::size_t pauseFrom_ = kNowhere;
  // The closing pause so far, passed on only when another sentence follows.
  std::vector<std::int16_t> pause_;
  int pauseRate_ = 0;
};

}  // namespace speech_bridge
