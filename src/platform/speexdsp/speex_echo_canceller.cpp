// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/speexdsp/speex_echo_canceller.h"

#include <speex/speex_echo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/audio/echo_delay_finder.h"
#include "platform/audio/int16_sample.h"

namespace speech_bridge {
namespace {

// The filter's length from the echo's start: the direct sound and the first
// reflections. Longer filters converge too slowly for an order spoken at
// once.
constexpr double kTailSeconds = 0.02;
// The filter starts this much before the delay found, which may be early or
// late by a millisecond.
constexpr double kLeadSeconds = 0.003;
// Delays up to this long are looked for.
constexpr double kLongestDelaySeconds = 1.0;
// The delay is looked for over the latest microphone audio, at least and at
// most this long, this often.
constexpr double kShortestWindowSeconds = 0.3;
constexpr double kLongestWindowSeconds = 1.0;
constexpr double kFindEverySeconds = 0.25;
constexpr double kFirstFindEverySeconds = 0.1;
// Once the delay is found, the filter first learns from this much of what
// was heard.
constexpr double kTrainSeconds = 0.5;
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

class SpeexEchoCanceller final : public EchoCanceller {
 public:
  explicit SpeexEchoCanceller(int sampleRate)
      : rate_(sampleRate),
        frame_(static_cast<std::size_t>(sampleRate / 100)),
        tail_(seconds(kTailSeconds)),
        lead_(seconds(kLeadSeconds)),
        longestWindow_(seconds(kLongestWindowSeconds)),
        reference_(seconds(kLongestDelaySeconds) + longestWindow_ + 4 * frame_),
        microphone_(longestWindow_ + seconds(kLongestDelaySeconds)),
        finder_(sampleRate, seconds(kLongestDelaySeconds), longestWindow_),
        state_(speex_echo_state_init(static_cast<int>(frame_), static_cast<int>(tail_))),
        windowScratch_(longestWindow_),
        referenceScratch_(longestWindow_ + seconds(kLongestDelaySeconds)),
        microphoneFrame_(frame_),
        referenceFrame_(frame_),
        cancelledFrame_(frame_),
        trainingFrame_(frame_) {
    int rate = rate_;
    speex_echo_ctl(state_.get(), SPEEX_ECHO_SET_SAMPLING_RATE, &rate);
  }

  std::size_t frameLength() const override { return frame_; }

  void addReference(const float* frame) override { reference_.append(frame, frame_); }

  void cancel(float* frame, int) override {
    const std::uint64_t at = microphone_.total();
    microphone_.append(frame, frame_);
    if (microphone_.total() >= nextFind_) findDelay(at);
    filter(frame, at, frame);
  }

 private:
  struct StateDeleter {
    void operator()(SpeexEchoState* state) const { speex_echo_state_destroy(state); }
  };

  std::size_t seconds(double value) const { return static_cast<std::size_t>(value * rate_); }

  // Frame `at` of the microphone, less its echo, into `out` (which may be
  // `microphone`); as it is while no reference lies under it.
  void filter(const float* microphone, std::uint64_t at, float* out) {
    if (!start_ || at < *start_) return;
    const std::uint64_t from = at - *start_;
    if (!reference_.holds(from, frame_)) return;  // late or gone: as it is
    reference_.copy(from, frame_, referenceScratch_.data());
    for (std::size_t i = 0; i < frame_; ++i) {
      microphoneFrame_[i] = asInt16(microphone[i]);
      referenceFrame_[i] = asInt16(referenceScratch_[i]);
    }
    speex_echo_cancellation(state_.get(), microphoneFrame_.data(), referenceFrame_.data(), cancelledFrame_.data());
    double heard = 0.0;
    double left = 0.0;
    for (std::size_t i = 0; i < frame_; ++i) {
      heard += double(microphoneFrame_[i]) * microphoneFrame_[i];
      left += double(cancelledFrame_[i]) * cancelledFrame_[i];
    }
    // A frame the filter took most of was the speakers' alone: what it
    // left is their echo, not the player, and goes quieter still. While the
    // player speaks, the filter takes little of a frame.
    const float target = left < heard * kEchoAloneShare ? kEchoAloneGain : 1.0f;
    for (std::size_t i = 0; i < frame_; ++i) {
      const float gain = gain_ + (target - gain_) * static_cast<float>(i + 1) / static_cast<float>(frame_);
      out[i] = static_cast<float>(cancelledFrame_[i]) / 32768.0f * gain;
    }
    gain_ = target;
  }

  // Over the latest microphone audio whose reference has come: where the
  // filter must start changes only when the echo left the filter's reach.
  // `current`: the microphone frame about to be cancelled.
  void findDelay(std::uint64_t current) {
    // Until the delay is first found, often: the player speaks at once.
    nextFind_ = microphone_.total() + seconds(start_ ? kFindEverySeconds : kFirstFindEverySeconds);
    const std::uint64_t end = std::min(microphone_.total(), reference_.total());
    // Early in the job, a short window leaves room in what has come for the
    // longer lags; later, a long one judges them more surely.
    const std::uint64_t room = end > seconds(kLongestDelaySeconds) ? end - seconds(kLongestDelaySeconds) : 0;
    const std::size_t window = static_cast<std::size_t>(
        std::min<std::uint64_t>(end, std::clamp<std::uint64_t>(room, seconds(kShortestWindowSeconds), longestWindow_)));
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
    // Within the filter's reach, with room on both sides: it follows itself.
    if (start_ && *delay >= *start_ + lead_ / 2 && *delay <= *start_ + tail_ * 2 / 3) return;
    start_ = *delay > lead_ ? *delay - lead_ : 0;
    speex_echo_state_reset(state_.get());
    // The filter learns from what was heard before the current frame, so
    // that it cancels from this frame on: what the speakers began while the
    // delay was still being looked for (a ship's reply) is gone at once.
    const std::uint64_t trainFrom = current - std::min<std::uint64_t>(current, seconds(kTrainSeconds)) / frame_ * frame_;
    for (std::uint64_t at = trainFrom; at < current; at += frame_) {
      if (!microphone_.holds(at, frame_)) continue;
      microphone_.copy(at, frame_, trainingFrame_.data());
      filter(trainingFrame_.data(), at, trainingFrame_.data());
    }
  }

  const int rate_;
  const std::size_t frame_;
  const std::size_t tail_;
  const std::size_t lead_;
  const std::size_t longestWindow_;
  History reference_;
  History microphone_;
  EchoDelayFinder finder_;
  std::unique_ptr<SpeexEchoState, StateDeleter> state_;
  // How many samples of the microphone the filter's start lags the
  // reference; none until the delay is first found.
  std::optional<std::size_t> start_;
  std::uint64_t nextFind_ = 0;
  std::vector<float> windowScratch_;
  std::vector<float> referenceScratch_;
  std::vector<std::int16_t> microphoneFrame_;
  std::vector<std::int16_t> referenceFrame_;
  std::vector<std::int16_t> cancelledFrame_;
  std::vector<float> trainingFrame_;
  float gain_ = 1.0f;  // at the end of the last frame cancelled
};

}  // namespace

std::unique_ptr<EchoCanceller> makeSpeexEchoCanceller(int sampleRate) {
  if (sampleRate < 8000 || sampleRate > 192000) return nullptr;
  return std::make_unique<SpeexEchoCanceller>(sampleRate);
}

}  // namespace speech_bridge
