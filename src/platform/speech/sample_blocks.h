// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace speech_bridge {

// The samples of one text on their way from an engine, which makes them a
// sentence or a piece at a time, to a consumer that takes short blocks, so
// that a stop is heard soon. Counts what was passed on, and tells where words
// start in those counts, in order. On the engine's thread only.
class SampleBlocks {
 public:
  // Takes each block; false to abort the synthesis.
  using Consumer = std::function<bool(const std::int16_t* samples, std::size_t count)>;
  // Hears where each word starts, counted in the samples passed on.
  using WordListener = std::function<void(std::size_t firstSample)>;

  SampleBlocks(std::size_t blockSamples, Consumer consume, WordListener words)
      : blockSamples_(std::max<std::size_t>(blockSamples, 1)), consume_(std::move(consume)), words_(std::move(words)) {}

  // Passes the samples on in blocks; false once the consumer wants no more.
  bool pass(const std::int16_t* samples, std::size_t count) {
    for (std::size_t done = 0; done < count;) {
      const std::size_t block = std::min(blockSamples_, count - done);
      passed_ += block;
      if (!consume_(samples + done, block)) return false;
      done += block;
    }
    return true;
  }

  // A word starts `ahead` samples after the last one passed on so far. A
  // start before the one heard last (a word without sounds of its own) is
  // passed over, so that the starts are in order.
  void wordStartsIn(std::size_t ahead) {
    const std::size_t start = passed_ + ahead;
    if (!words_ || start < lastWordStart_) return;
    lastWordStart_ = start;
    words_(start);
  }

  bool hearsWords() const { return static_cast<bool>(words_); }

 private:
  const std::size_t blockSamples_;
  const Consumer consume_;
  const WordListener words_;
  std::size_t passed_ = 0;
  std::size_t lastWordStart_ = 0;
};

}  // namespace speech_bridge
