// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/audio/echo_delay_finder.h"

#include <algorithm>
#include <cmath>

namespace speech_bridge {

EchoDelayFinder::EchoDelayFinder(int sampleRate, std::size_t longestLag, std::size_t longestWindow)
    : step_(static_cast<std::size_t>(std::max(1, sampleRate / kRateHz))), longestLag_(longestLag) {
  // Reserved once: the audio thread does not allocate.
  microphone_.reserve(longestWindow / step_ + 1);
  reference_.reserve((longestWindow + longestLag) / step_ + 1);
}

// Means of step_ samples (a coarse low-pass before the thinning), then each
// less the one before.
void EchoDelayFinder::bringDown(std::span<const float> in, std::vector<float>& out) const {
  out.clear();
  float before = 0.0f;
  for (std::size_t at = 0; at + step_ <= in.size(); at += step_) {
    float sum = 0.0f;
    for (std::size_t i = 0; i < step_; ++i) sum += in[at + i];
    const float mean = sum / static_cast<float>(step_);
    out.push_back(mean - before);
    before = mean;
  }
}

std::optional<std::size_t> EchoDelayFinder::find(std::span<const float> microphone,
                                                 std::span<const float> reference) {
  if (reference.size() < microphone.size()) return std::nullopt;
  const std::size_t tried = std::min(longestLag_, reference.size() - microphone.size()) / step_ * step_;
  // Thinned from the window's end backwards, so that lag 0 is its end in both.
  bringDown(microphone.subspan(microphone.size() % step_), microphone_);
  bringDown(reference.subspan(reference.size() - microphone.size() / step_ * step_ - tried), reference_);
  const std::size_t lags = tried / step_;
  const std::size_t length = microphone_.size();
  if (length == 0 || reference_.size() != length + lags) return std::nullopt;
  double microphoneEnergy = 0.0;
  for (float value : microphone_) microphoneEnergy += double(value) * value;
  // Nothing heard, or nothing played (an idle sink's monitor is silence):
  // no echo to look for, and no lags to try on the audio thread.
  if (microphoneEnergy == 0.0 || std::all_of(reference_.begin(), reference_.end(), [](float v) { return v == 0.0f; })) {
    return std::nullopt;
  }
  // The reference under the window at lag 0 is its last `length` values;
  // each lag further back slides the window one value earlier.
  double referenceEnergy = 0.0;
  for (std::size_t i = 0; i < length; ++i) referenceEnergy += double(reference_[lags + i]) * reference_[lags + i];
  double best = 0.0;
  std::size_t bestLag = 0;
  for (std::size_t lag = 0;; ++lag) {
    const float* under = reference_.data() + lags - lag;
    double product = 0.0;
    for (std::size_t i = 0; i < length; ++i) product += double(microphone_[i]) * under[i];
    const double energies = microphoneEnergy * referenceEnergy;
    if (energies > 0.0) {
      const double correlation = product / std::sqrt(energies);
      if (correlation > best) {
        best = correlation;
        bestLag = lag;
      }
    }
    if (lag == lags) break;
    const float leaving = under[length - 1];
    const float entering = under[-1];
    referenceEnergy = std::max(0.0, referenceEnergy - double(leaving) * leaving + double(entering) * entering);
  }
  if (best < kLeastCorrelation) return std::nullopt;
  return refine(microphone, reference, bestLag * step_, tried);
}

// The thinned signals place the echo within a step; the filter needs its
// sample. The same correlation at the full rate, of each sample less the one
// before, over the lags a step either side.
std::size_t EchoDelayFinder::refine(std::span<const float> microphone, std::span<const float> reference,
                                    std::size_t coarse, std::size_t tried) const {
  const std::size_t from = coarse > step_ ? coarse - step_ : 0;
  const std::size_t to = std::min(coarse + step_, tried);
  // Lag 0 places the microphone over the reference's last samples.
  const std::size_t base = reference.size() - microphone.size();
  double best = -1.0;
  std::size_t bestLag = coarse;
  for (std::size_t lag = from; lag <= to; ++lag) {
    const float* under = reference.data() + base - lag;
    double product = 0.0;
    double energy = 0.0;
    for (std::size_t i = 1; i < microphone.size(); ++i) {
      const double played = double(under[i]) - under[i - 1];
      product += (double(microphone[i]) - microphone[i - 1]) * played;
      energy += played * played;
    }
    const double correlation = energy > 0.0 ? product / std::sqrt(energy) : 0.0;
    if (correlation > best) {
      best = correlation;
      bestLag = lag;
    }
  }
  return bestLag;
}

}  // namespace speech_bridge
