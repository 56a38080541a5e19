// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/audio/captured_audio_queue.h"

#include <algorithm>
#include <cstring>

namespace speech_bridge {

// Not value-initialised: untouched pages cost nothing until audio arrives.
CapturedAudioQueue::CapturedAudioQueue(std::size_t capacitySamples)
    : capacity_(std::max<std::size_t>(capacitySamples, 1)), ring_(new float[capacity_]) {}

bool CapturedAudioQueue::push(const float* samples, std::size_t count) {
  const std::uint64_t head = head_.load(std::memory_order_relaxed);
  const std::uint64_t tail = tail_.load(std::memory_order_acquire);
  const std::size_t room = capacity_ - static_cast<std::size_t>(head - tail);
  if (count > room) {
    dropped_.fetch_add(count, std::memory_order_relaxed);
    return false;
  }
  const std::size_t taken = count;
  const std::size_t at = static_cast<std::size_t>(head % capacity_);
  const std::size_t first = std::min(taken, capacity_ - at);
  std::memcpy(ring_.get() + at, samples, first * sizeof(float));
  std::memcpy(ring_.get(), samples + first, (taken - first) * sizeof(float));
  head_.store(head + taken, std::memory_order_release);
  return true;
}

std::size_t CapturedAudioQueue::pop(float* out, std::size_t max) {
  const std::uint64_t tail = tail_.load(std::memory_order_relaxed);
  const std::uint64_t head = head_.load(std::memory_order_acquire);
  const std::size_t taken = std::min(max, static_cast<std::size_t>(head - tail));
  const std::size_t at = static_cast<std::size_t>(tail % capacity_);
  const std::size_t first = std::min(taken, capacity_ - at);
  std::memcpy(out, ring_.get() + at, first * sizeof(float));
  std::memcpy(out + first, ring_.get(), (taken - first) * sizeof(float));
  tail_.store(tail + taken, std::memory_order_release);
  return taken;
}

}  // namespace speech_bridge
