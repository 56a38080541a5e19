// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pocketsphinx/speech_detector.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace speech_bridge {

std::optional<SpeechActivity> SpeechDetector::accept(const float* samples, std::size_t frames,
                                                     std::uint32_t channels, double sampleRate) {
  const auto perFrame = std::max<std::size_t>(1, static_cast<std::size_t>(sampleRate * kFrameSeconds));
  std::optional<SpeechActivity> change;
  for (std::size_t frame = 0; frame < frames; ++frame) {
    for (std::uint32_t channel = 0; channel < channels; ++channel) {
      const double value = samples[frame * channels + channel];
      energy_ += value * value;
    }
    energyCount_ += channels;
    if (++frameFill_ < perFrame) continue;
    if (auto ended = endFrame()) change = ended;
  }
  return change;
}

bool SpeechDetector::fellSinceLoud() const {
  const std::size_t seen = std::min(framesSeen_, kSteadyFrames);
  bool any = false;
  double peak = 0.0;
  for (std::size_t age = seen; age-- > 0;) {  // oldest first
    const double db = recentDb_[(framesSeen_ - 1 - age) % kSteadyFrames];
    if (any && db < peak - kSteadyDb) return true;
    if (loudHistory_ >> age & 1u) {
      peak = any ? std::max(peak, db) : db;
      any = true;
    }
  }
  return false;
}

std::optional<SpeechActivity> SpeechDetector::endFrame() {
  const double db = 10.0 * std::log10(energy_ / static_cast<double>(energyCount_) + 1e-12);
  frameFill_ = 0;
  energy_ = 0.0;
  energyCount_ = 0;

  if (!started_) {
    floorDb_ = db;
    started_ = true;
  }
  recentDb_[framesSeen_ % kSteadyFrames] = db;
  ++framesSeen_;
  if (db < floorDb_) {
    floorDb_ = db;
  } else {
    floorDb_ = std::min(db, floorDb_ + kFloorRiseDbPerSecond * kFrameSeconds);
  }
  if (framesSeen_ >= kSteadyFrames) {
    const auto [low, high] = std::minmax_element(recentDb_.begin(), recentDb_.end());
    if (*high - *low <= kSteadyDb) floorDb_ = std::max(floorDb_, *low);
  }

  const bool loud = db > kSpeechLevelDb && db > floorDb_ + kAboveFloorDb;
  loudHistory_ = ((loudHistory_ << 1) | (loud ? 1u : 0u)) & ((1u << kSteadyFrames) - 1);
  quietFrames_ = loud ? 0 : quietFrames_ + 1;

  // Once a voice was heard, speech that resumes after a pause needs no fall
  // first: a player going on with an order must not wait for one.
  if (!speaking_ && std::popcount(loudHistory_ & ((1u << kOnsetWindow) - 1)) >= kOnsetFrames &&
      (heardBefore_ || fellSinceLoud())) {
    heardBefore_ = true;
    speaking_ = true;
    return SpeechActivity{true, 0.0};
  }
  if (speaking_ && quietFrames_ * kFrameSeconds >= kPauseSeconds - 1e-9) {
    speaking_ = false;
    return SpeechActivity{false, quietFrames_ * kFrameSeconds};
  }
  return std::nullopt;
}

}  // namespace speech_bridge
