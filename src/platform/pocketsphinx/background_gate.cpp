// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pocketsphinx/background_gate.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace speech_bridge {
namespace {

std::size_t framesOf(double seconds) {
  return static_cast<std::size_t>(std::lround(seconds / BackgroundGate::kFrameSeconds));
}

}  // namespace

BackgroundGate::BackgroundGate(int sampleRate)
    : frameSamples_(static_cast<std::size_t>(std::max(1L, std::lround(sampleRate * kFrameSeconds)))),
      floorFrames_(framesOf(kFloorSeconds)),
      beforeFrames_(framesOf(kBeforeSeconds)),
      afterFrames_(framesOf(kAfterSeconds)) {
  levels_.reserve(floorFrames_);
  background_.reserve(floorFrames_);
  sorted_.reserve(floorFrames_);
}

void BackgroundGate::process(std::span<const std::int16_t> in, std::vector<std::int16_t>& out) {
  for (const std::int16_t sample : in) {
    pending_.push_back(sample);
    frameEnergy_ += static_cast<double>(sample) * sample;
    if (++frameFill_ < frameSamples_) continue;
    endFrame();
    // A frame is decided once the frames up to kBeforeSeconds after it are heard.
    if (framesSeen_ > released_ + beforeFrames_) release(1, out);
  }
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(consumed_));
  consumed_ = 0;
}

void BackgroundGate::flush(std::vector<std::int16_t>& out) {
  release(framesSeen_ - released_, out);
  // The last part of a frame goes as the frame after the last whole one would.
  const std::size_t rest = pending_.size() - consumed_;
  frameFill_ = 0;
  releaseSamples(rest, out);
  pending_.clear();
  consumed_ = 0;
}

void BackgroundGate::endFrame() {
  constexpr double kFullScale = 32768.0;
  const double level =
      10.0 * std::log10(frameEnergy_ / (static_cast<double>(frameFill_) * kFullScale * kFullScale) + 1e-10);
  frameEnergy_ = 0.0;
  frameFill_ = 0;
  remember(levels_, levelsAt_, level);
  const double floor = percentile(levels_, kFloorPercentile);
  // Above the background's own middle too, from the frames that were not
  // loud: music that peaks well above its quiet moments peaks little above
  // its middle. Until enough such frames are heard the floor alone judges:
  // the frames heard so far may all be the player's words.
  const bool aboveMiddle = background_.size() < kLeastBackgroundFrames ||
                           level >= percentile(background_, 0.5) + kAboveBackgroundDb;
  const bool loud = level >= floor + kAboveFloorDb && aboveMiddle && level >= kQuietestSpeechDb;
  // The start is kept as speech (see lastSpeech_), and is no background.
  if (!loud && framesSeen_ >= afterFrames_) remember(background_, backgroundAt_, level);
  loudHistory_ = (loudHistory_ << 1) | (loud ? 1u : 0u);
  ++framesSeen_;
  if (std::popcount(loudHistory_ & ((1u << kOnsetWindow) - 1)) >= kOnsetFrames) {
    lastSpeech_ = framesSeen_;
    ++speechFrames_;
  }
}

void BackgroundGate::remember(std::vector<double>& ring, std::size_t& next, double level) const {
  if (ring.size() < floorFrames_) {
    ring.push_back(level);
  } else {
    ring[next] = level;
  }
  next = (next + 1) % floorFrames_;
}

double BackgroundGate::percentile(const std::vector<double>& levels, double fraction) {
  sorted_.assign(levels.begin(), levels.end());
  const auto at = sorted_.begin() + static_cast<std::ptrdiff_t>(fraction * static_cast<double>(sorted_.size() - 1));
  std::nth_element(sorted_.begin(), at, sorted_.end());
  return *at;
}

void BackgroundGate::release(std::size_t frames, std::vector<std::int16_t>& out) {
  for (std::size_t i = 0; i < frames; ++i) releaseSamples(frameSamples_, out);
}

void BackgroundGate::releaseSamples(std::size_t count, std::vector<std::int16_t>& out) {
  // Frames up to kBeforeSeconds after this one are heard, and no speech
  // frame lies beyond them yet, so the latest one decides.
  const bool kept = lastSpeech_ > 0 && lastSpeech_ - 1 + afterFrames_ >= released_;
  static const float kQuietGain = static_cast<float>(std::pow(10.0, kQuietedDb / 20.0));
  const float target = kept ? 1.0f : kQuietGain;
  if (released_ == 0) gain_ = target;  // nothing to glide from
  for (std::size_t i = 0; i < count; ++i) {
    const float gain = gain_ + (target - gain_) * static_cast<float>(i + 1) / static_cast<float>(count);
    const float sample = static_cast<float>(pending_[consumed_++]) * gain;
    out.push_back(static_cast<std::int16_t>(std::lround(std::clamp(sample, -32768.0f, 32767.0f))));
  }
  gain_ = target;
  ++released_;
}

}  // namespace speech_bridge
