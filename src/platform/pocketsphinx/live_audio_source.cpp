// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pocketsphinx/live_audio_source.h"

#include <algorithm>
#include <cmath>

namespace speech_bridge {
namespace {

// Samples converted per step: about 0.1 s of mono audio at 44.1 kHz.
constexpr std::size_t kConvertSamples = 4096;

}  // namespace

LiveAudioSource::LiveAudioSource() : queue_(kQueueSamples) {}

void LiveAudioSource::append(const AudioPcmBuffer& buffer) {
  if (inputEnded_.load(std::memory_order_acquire)) return;
  const std::uint32_t channels = buffer.format.channelCount;
  if (!buffer.samples || buffer.frameLength == 0 || channels == 0 || !(buffer.format.sampleRate > 0.0)) return;
  if (captureChannels_.load(std::memory_order_relaxed) == 0) {
    captureRate_.store(buffer.format.sampleRate, std::memory_order_relaxed);
    captureChannels_.store(channels, std::memory_order_relaxed);
  }
  const std::size_t count = std::size_t{buffer.frameLength} * channels;
  if (!speechHeard_.load(std::memory_order_relaxed)) {
    double energy = 0.0;
    for (std::size_t i = 0; i < count; ++i) energy += double{buffer.samples[i]} * buffer.samples[i];
    if (std::sqrt(energy / static_cast<double>(count)) > kSpeechLevel) {
      loudSeconds_ += buffer.frameLength / buffer.format.sampleRate;
      // Before the samples are published: whoever sees the end sees this.
      if (loudSeconds_ >= kSpeechSeconds) speechHeard_.store(true, std::memory_order_release);
    }
  }
  if (activityHandler_) {
    if (const auto change = detector_.accept(buffer.samples, buffer.frameLength, channels, buffer.format.sampleRate)) {
      activityHandler_(*change);
    }
  }
  // Published with the samples: a reader that sees them sees the format.
  queue_.pushAll(buffer.samples, count);
  wake();
}

bool LiveAudioSource::endedWithoutSpeech() const {
  return endsAt_.load(std::memory_order_acquire) != UINT64_MAX && !speechHeard_.load(std::memory_order_acquire);
}

void LiveAudioSource::wake() {
  changes_.fetch_add(1, std::memory_order_release);
  changes_.notify_all();
}

std::optional<std::string> LiveAudioSource::open(int sampleRate) {
  modelRate_ = sampleRate;
  return std::nullopt;
}

void LiveAudioSource::endInput() {
  if (!inputEnded_.exchange(true, std::memory_order_acq_rel)) {
    endsAt_.store(queue_.pushed(), std::memory_order_release);
  }
  wake();
}

AudioRead LiveAudioSource::read(std::span<std::int16_t> out) {
  for (;;) {
    if (pendingRead_ < pending_.size()) {
      const std::size_t count = std::min(out.size(), pending_.size() - pendingRead_);
      std::copy_n(pending_.begin() + static_cast<std::ptrdiff_t>(pendingRead_), count, out.begin());
      pendingRead_ += count;
      return AudioRead{count, std::nullopt};
    }
    pending_.clear();
    pendingRead_ = 0;

    const std::uint32_t seen = changes_.load(std::memory_order_acquire);
    const std::uint64_t endsAt = endsAt_.load(std::memory_order_acquire);
    const std::uint64_t available = std::min(queue_.pushed(), endsAt) - consumed_;
    if (available > 0) {
      if (auto error = convertAvailable(available)) return AudioRead{0, std::move(error)};
      continue;
    }
    if (endsAt != UINT64_MAX) {
      if (flushed_ || !resampler_) return AudioRead{};
      resampler_->flush(pending_);
      flushed_ = true;
      continue;
    }
    changes_.wait(seen, std::memory_order_acquire);
  }
}

bool LiveAudioSource::waitForAudio() {
  for (;;) {
    const std::uint32_t seen = changes_.load(std::memory_order_acquire);
    const std::uint64_t endsAt = endsAt_.load(std::memory_order_acquire);
    if (std::min(queue_.pushed(), endsAt) > consumed_) return true;
    if (endsAt != UINT64_MAX) return false;
    changes_.wait(seen, std::memory_order_acquire);
  }
}

std::optional<std::string> LiveAudioSource::convertAvailable(std::uint64_t available) {
  const std::uint32_t channels = captureChannels_.load(std::memory_order_relaxed);
  if (!resampler_) {
    MonoResampler::Made made = MonoResampler::make(captureRate_.load(std::memory_order_relaxed), modelRate_);
    if (!made.resampler) return "The microphone's " + made.error;
    resampler_ = std::move(made.resampler);
  }
  // Whole frames only; the queue holds nothing else.
  const std::size_t wanted = std::min<std::uint64_t>(available, kConvertSamples / channels * channels);
  captured_.resize(wanted);
  const std::size_t got = queue_.pop(captured_.data(), wanted);
  consumed_ += got;
  mixToMono(std::span<const float>(captured_.data(), got), channels, mono_);
  resampler_->process(mono_, pending_);
  return std::nullopt;
}

}  // namespace speech_bridge
