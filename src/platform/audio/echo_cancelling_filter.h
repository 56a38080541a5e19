// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/echo_canceller.h"

namespace speech_bridge {

// Between a capture backend's two streams (the microphone, and the reference:
// what the speakers play) and its tap. It cuts both into the canceller's
// 10 ms frames and cancels the echo from each frame of the microphone while
// the reference keeps up.
//
// The microphone is never held back for the reference: every microphone
// sample goes on at once, in order, less the part of a frame that is still
// incomplete (under 10 ms). When no reference has come for the last
// kLateReferenceFrames frames of the microphone (late, failed or gone), the
// microphone goes on as it is, uncancelled, until the reference is back.
//
// The reference is only ever handed to the canceller: it is not kept beyond
// one incomplete frame. Every call from one thread.
class EchoCancellingFilter {
 public:
  static constexpr int kLateReferenceFrames = 10;

  using Delivery = std::function<void(const float* samples, std::uint32_t frames)>;

  // `canceller` is not null.
  explicit EchoCancellingFilter(std::unique_ptr<EchoCanceller> canceller);

  void setDelayHint(int milliseconds) { delayHint_ = milliseconds; }
  void addReference(const float* samples, std::size_t count);
  // Hands the microphone's samples on to `deliver`, cancelled where it can.
  void filterMicrophone(const float* samples, std::size_t count, const Delivery& deliver);

  // How many microphone frames went on uncancelled so far.
  std::uint64_t uncancelledFrames() const { return uncancelled_; }

 private:
  // Appends `samples` to `partial`, handing each whole frame to `whole`.
  template <typename Whole>
  void inFrames(std::vector<float>& partial, const float* samples, std::size_t count, Whole&& whole) {
    while (count > 0) {
      const std::size_t taken = std::min(count, frameLength_ - partial.size());
      partial.insert(partial.end(), samples, samples + taken);
      samples += taken;
      count -= taken;
      if (partial.size() < frameLength_) return;
      whole(partial.data());
      partial.clear();
    }
  }

  std::unique_ptr<EchoCanceller> canceller_;
  std::size_t frameLength_;
  std::vector<float> reference_;   // an incomplete frame
  std::vector<float> microphone_;  // an incomplete frame
  int framesSinceReference_ = kLateReferenceFrames + 1;  // late until one comes
  int delayHint_ = 0;
  std::uint64_t uncancelled_ = 0;
};

}  // namespace speech_bridge
