// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/audio/least_squares_echo_canceller.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/audio/echo_delay_finder.h"

namespace speech_bridge {
namespace {

// The filter's taps, centred on the delay found: enough for an echo that
// falls between two samples or was found a few samples off, few enough
// that the fit settles within a word while the player speaks. Longer
// filters fitted worse under the player's words.
constexpr std::size_t kTaps = 16;
// Each frame's part in the fit fades by this much a frame: the fit is over
// about the last tenth of a second, and follows an echo whose delay drifts
// (two sound cards, each on its own clock; a loopback that resamples). With
// so few taps, that is still thousands of samples for each weight.
constexpr double kForgetting = 0.9;
// Delays up to this long are looked for.
constexpr double kLongestDelaySeconds = 1.0;
// The delay is looked for over the latest microphone audio, at least and at
// most this long, this often; until it is first found, more often, for
// the player speaks at once.
constexpr double kShortestWindowSeconds = 0.1;
constexpr double kLongestWindowSeconds = 1.0;
constexpr double kFindEverySeconds = 0.25;
constexpr double kFirstFindEverySeconds = 0.05;
// Once a delay is found, the fit is first made over this much of what was
// heard.
constexpr double kFitSeconds = 0.5;
// Another delay found later, beyond the filter's reach, replaces the one in
// use only if a fit at it leaves less of the last kFitSeconds than one at
// the delay in use: less than this share when it is far, no more when it is
// within a filter's length (the echo drifted). The correlation alone, under
// the player's words, may pick a wrong lag; and the first delay found is
// taken only if its fit leaves less than kFoundShare of what was heard.
constexpr double kBetterShare = 0.8;
constexpr double kFoundShare = 0.8;
// A frame of which the filter left less than this share (12 dB below) was
// echo alone, and what it left is quieted by kEchoAloneGain (30 dB): below
// the quietest sound the recognizer takes for speech.
constexpr double kEchoAloneShare = 0.063;
constexpr float kEchoAloneGain = 0.0316f;

// The latest samples of a stream, by their number in it.
class History {
 public:
  explicit History(std::size_t capacity) : samples_(capacity) {}

  void append(const float* samples, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) samples_[(total_ + i) % samples_.size()] = samples[i];
    total_ += count;
  }
  std::uint64_t total() const { return total_; }
  // Whether samples [from, from + count) are still held.
  bool holds(std::uint64_t from, std::size_t count) const {
    return from + count <= total_ && from + samples_.size() >= total_;
  }
  void copy(std::uint64_t from, std::size_t count, float* out) const {
    for (std::size_t i = 0; i < count; ++i) out[i] = samples_[(from + i) % samples_.size()];
  }

 private:
  std::vector<float> samples_;
  std::uint64_t total_ = 0;
};

// The weights that best make the microphone from the kTaps reference samples
// before each of its samples, in the least-squares sense, over all frames
// so far (older ones fading), and what those weights leave.
class LeastSquaresFit {
 public:
  LeastSquaresFit() : products_(kTaps * kTaps), crossed_(kTaps), weights_(kTaps), factor_(kTaps * kTaps) {}

  void reset() {
    std::fill(products_.begin(), products_.end(), 0.0);
    std::fill(crossed_.begin(), crossed_.end(), 0.0);
    std::fill(weights_.begin(), weights_.end(), 0.0);
    heard_ = 0.0;
  }

  // `reference` holds count + kTaps - 1 samples; microphone[i] is made from
  // reference[i .. i + kTaps), the latest last. Writes the microphone less
  // the echo the weights so far make of it into `out` (which may be
  // `microphone`), then fits the weights again with this frame in.
  void cancel(const float* microphone, const float* reference, std::size_t count, float* out) {
    for (double& value : products_) value *= kForgetting;
    for (double& value : crossed_) value *= kForgetting;
    heard_ *= kForgetting;
    for (std::size_t i = 0; i < count; ++i) {
      const float* played = reference + i;  // played[kTaps - 1] is the latest
      const double heard = microphone[i];
      double echo = 0.0;
      for (std::size_t k = 0; k < kTaps; ++k) {
        const double x = played[kTaps - 1 - k];
        echo += weights_[k] * x;
        crossed_[k] += x * heard;
        double* row = products_.data() + k * kTaps;
        for (std::size_t l = k; l < kTaps; ++l) row[l] += x * played[kTaps - 1 - l];
      }
      heard_ += heard * heard;
      out[i] = static_cast<float>(heard - echo);
    }
    solve();
  }

  // What the frames fitted so far held, and what the weights leave of it.
  double heard() const { return heard_; }
  double left() const {
    double explained = 0.0;
    for (std::size_t k = 0; k < kTaps; ++k) explained += weights_[k] * crossed_[k];
    return std::max(0.0, heard_ - explained);
  }

 private:
  // The normal equations by Cholesky's factoring, a little ridge added so
  // that a quiet or plain reference still gives small weights.
  void solve() {
    double trace = 0.0;
    for (std::size_t k = 0; k < kTaps; ++k) trace += products_[k * kTaps + k];
    if (!(trace > 0.0)) {
      std::fill(weights_.begin(), weights_.end(), 0.0);
      return;
    }
    const double ridge = trace / kTaps * 1e-6;
    for (std::size_t k = 0; k < kTaps; ++k) {
      for (std::size_t l = k; l < kTaps; ++l) {
        double sum = products_[k * kTaps + l] + (k == l ? ridge : 0.0);
        for (std::size_t m = 0; m < k; ++m) sum -= factor_[m * kTaps + k] * factor_[m * kTaps + l];
        if (k == l) {
          if (!(sum > 0.0)) return;  // not positive: keep the last weights
          factor_[k * kTaps + k] = std::sqrt(sum);
        } else {
          factor_[k * kTaps + l] = sum / factor_[k * kTaps + k];
        }
      }
    }
    for (std::size_t k = 0; k < kTaps; ++k) {  // U^T y = p
      double sum = crossed_[k];
      for (std::size_t m = 0; m < k; ++m) sum -= factor_[m * kTaps + k] * weights_[m];
      weights_[k] = sum / factor_[k * kTaps + k];
    }
    for (std::size_t k = kTaps; k-- > 0;) {  // U w = y
      double sum = weights_[k];
      for (std::size_t m = k + 1; m < kTaps; ++m) sum -= factor_[k * kTaps + m] * weights_[m];
      weights_[k] = sum / factor_[k * kTaps + k];
    }
  }

  std::vector<double> products_;  // the reference's, upper triangle
  std::vector<double> crossed_;   // the reference's with the microphone
  std::vector<double> weights_;
  std::vector<double> factor_;
  double heard_ = 0.0;  // the microphone's energy
};

class LeastSquaresEchoCanceller final : public EchoCanceller {
 public:
  explicit LeastSquaresEchoCanceller(int sampleRate)
      : rate_(sampleRate),
        frame_(static_cast<std::size_t>(sampleRate / 100)),
        longestWindow_(seconds(kLongestWindowSeconds)),
        reference_(seconds(kLongestDelaySeconds) + longestWindow_ + 4 * frame_ + kTaps),
        microphone_(longestWindow_ + seconds(kLongestDelaySeconds)),
        finder_(sampleRate, seconds(kLongestDelaySeconds), longestWindow_),
        windowScratch_(longestWindow_),
        referenceScratch_(longestWindow_ + seconds(kLongestDelaySeconds)),
        fitScratch_(frame_),
        leftScratch_(frame_) {}

  std::size_t frameLength() const override { return frame_; }

  void addReference(const float* frame) override { reference_.append(frame, frame_); }

  void cancel(float* frame, int) override {
    const std::uint64_t at = microphone_.total();
    microphone_.append(frame, frame_);
    if (microphone_.total() >= nextFind_) findDelay(at);
    if (!start_) return;
    double heard = 0.0;
    for (std::size_t i = 0; i < frame_; ++i) heard += double(frame[i]) * frame[i];
    if (!cancelWith(fit_, *start_, frame, at, frame)) return;
    double left = 0.0;
    for (std::size_t i = 0; i < frame_; ++i) left += double(frame[i]) * frame[i];
    // A frame the filter took most of was the speakers' alone: what it
    // left is their echo, not the player, and goes quieter still. While the
    // player speaks, the filter takes little of a frame.
    const float target = left < heard * kEchoAloneShare ? kEchoAloneGain : 1.0f;
    for (std::size_t i = 0; i < frame_; ++i) {
      frame[i] *= gain_ + (target - gain_) * static_cast<float>(i + 1) / static_cast<float>(frame_);
    }
    gain_ = target;
  }

 private:
  std::size_t seconds(double value) const { return static_cast<std::size_t>(value * rate_); }

  // Frame `at` of the microphone, less its echo by `fit` with the filter's
  // first tap `start` samples before it, into `out`; false, and `out` as it
  // was, while no reference lies under it.
  bool cancelWith(LeastSquaresFit& fit, std::size_t start, const float* microphone, std::uint64_t at, float* out) {
    if (at < start + kTaps - 1) return false;
    const std::uint64_t from = at - start - (kTaps - 1);
    if (!reference_.holds(from, frame_ + kTaps - 1)) return false;  // late or gone: as it is
    reference_.copy(from, frame_ + kTaps - 1, referenceScratch_.data());
    fit.cancel(microphone, referenceScratch_.data(), frame_, out);
    return true;
  }

  // A fit made afresh over the last kFitSeconds before microphone frame
  // `current`, with the filter's first tap `start` samples back; what it
  // leaves of them.
  double fitAfresh(LeastSquaresFit& fit, std::size_t start, std::uint64_t current) {
    fit.reset();
    const std::uint64_t from = current - std::min<std::uint64_t>(current, seconds(kFitSeconds)) / frame_ * frame_;
    for (std::uint64_t at = from; at < current; at += frame_) {
      if (!microphone_.holds(at, frame_)) continue;
      microphone_.copy(at, frame_, fitScratch_.data());
      cancelWith(fit, start, fitScratch_.data(), at, leftScratch_.data());
    }
    return fit.left();
  }

  // Over the latest microphone audio whose reference has come. `current`:
  // the microphone frame about to be cancelled.
  void findDelay(std::uint64_t current) {
    // Until the delay is first found, often: the player speaks at once.
    nextFind_ = microphone_.total() + seconds(start_ ? kFindEverySeconds : kFirstFindEverySeconds);
    const std::uint64_t end = std::min(microphone_.total(), reference_.total());
    // Early in the job, a window of half what has come leaves the other half
    // for the lags; later, a long one judges them more surely.
    const std::uint64_t room = end > seconds(kLongestDelaySeconds) ? end - seconds(kLongestDelaySeconds) : 0;
    const std::size_t window = static_cast<std::size_t>(std::min<std::uint64_t>(
        end, std::clamp<std::uint64_t>(std::max(room, end / 2), seconds(kShortestWindowSeconds), longestWindow_)));
    if (window < seconds(kShortestWindowSeconds) || !microphone_.holds(end - window, window)) return;
    const std::uint64_t referenceFrom =
        end - window - std::min<std::uint64_t>(end - window, seconds(kLongestDelaySeconds));
    if (!reference_.holds(referenceFrom, static_cast<std::size_t>(end - referenceFrom))) return;
    microphone_.copy(end - window, window, windowScratch_.data());
    const auto referenceLength = static_cast<std::size_t>(end - referenceFrom);
    reference_.copy(referenceFrom, referenceLength, referenceScratch_.data());
    const std::optional<std::size_t> delay = finder_.find(std::span<const float>(windowScratch_.data(), window),
                                                          std::span<const float>(referenceScratch_.data(), referenceLength));
    if (!delay) return;
    const std::size_t start = *delay > kTaps / 2 ? *delay - kTaps / 2 : 0;
    // Within the filter's reach, with room on both sides: it follows itself.
    if (start_ && start + kTaps / 4 >= *start_ && start <= *start_ + kTaps / 4) return;
    // The fit is made over what was heard before the current frame, so that
    // it cancels from this frame on: what the speakers began while the delay
    // was still being looked for (a ship's reply) is gone at once.
    const double leftByNew = fitAfresh(candidate_, start, current);
    if (!start_ && !(leftByNew < candidate_.heard() * kFoundShare)) return;
    if (start_) {
      const bool drifted = start + kTaps >= *start_ && start <= *start_ + kTaps;
      if (!(leftByNew <= fitAfresh(incumbent_, *start_, current) * (drifted ? 1.0 : kBetterShare))) return;
    }
    std::swap(fit_, candidate_);
    start_ = start;
  }

  const int rate_;
  const std::size_t frame_;
  const std::size_t longestWindow_;
  History reference_;
  History microphone_;
  EchoDelayFinder finder_;
  LeastSquaresFit fit_;
  LeastSquaresFit candidate_;
  LeastSquaresFit incumbent_;  // the delay in use, fitted as the candidate is
  // How many samples of the microphone the filter's first tap lags the
  // reference; none until the delay is first found.
  std::optional<std::size_t> start_;
  std::uint64_t nextFind_ = 0;
  std::vector<float> windowScratch_;
  std::vector<float> referenceScratch_;
  std::vector<float> fitScratch_;
  std::vector<float> leftScratch_;
  float gain_ = 1.0f;  // at the end of the last frame cancelled
};

}  // namespace

std::unique_ptr<EchoCanceller> makeLeastSquaresEchoCanceller(int sampleRate) {
  if (sampleRate < 8000 || sampleRate > 192000) return nullptr;
  return std::make_unique<LeastSquaresEchoCanceller>(sampleRate);
}

}  // namespace speech_bridge
