// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

namespace speech_bridge {

// Finds how many samples after the reference its echo comes in the
// microphone: the lag at which the two correlate best, from 0 to
// `longestLag`, judged over a window of the microphone of at most
// `longestWindow` samples. Both are first
// brought down to about kRateHz and differenced, which whitens music and
// speech enough for one sharp peak; the microphone's own speech only lowers
// the peak. The lag so found is then refined to the sample at the full
// rate. An echo too faint or too mixed to find gives no lag.
class EchoDelayFinder {
 public:
  static constexpr int kRateHz = 2000;
  // Below this normalised correlation the best lag may be chance.
  static constexpr double kLeastCorrelation = 0.25;

  EchoDelayFinder(int sampleRate, std::size_t longestLag, std::size_t longestWindow);

  // `microphone` is the window; `reference` what was played up to the
  // window's end, from as long before its start as lags are to be tried.
  std::optional<std::size_t> find(std::span<const float> microphone, std::span<const float> reference);

 private:
  void bringDown(std::span<const float> in, std::vector<float>& out) const;
  std::size_t refine(std::span<const float> microphone, std::span<const float> reference, std::size_t coarse,
                     std::size_t tried) const;

  const std::size_t step_;
  const std::size_t longestLag_;
  std::vector<float> microphone_;
  std::vector<float> reference_;
};

}  // namespace speech_bridge
