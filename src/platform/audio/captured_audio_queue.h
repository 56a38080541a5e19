// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace speech_bridge {

// Hands captured samples from the capture thread to one consumer thread
// without a lock: a ring of fixed size, allocated once, up front. The
// producer never waits and never allocates; when the ring is full, the samples
// offered are dropped whole, and counted.
class CapturedAudioQueue {
 public:
  explicit CapturedAudioQueue(std::size_t capacitySamples);

  CapturedAudioQueue(const CapturedAudioQueue&) = delete;
  CapturedAudioQueue& operator=(const CapturedAudioQueue&) = delete;

  // Producer only. Appends all the samples, or none when they do not fit.
  bool push(const float* samples, std::size_t count);

  // Consumer only. Moves up to `max` samples into `out`; returns how many.
  std::size_t pop(float* out, std::size_t max);

  // Samples pushed so far, in total; any thread. A consumer that reads this
  // sees every sample up to it.
  std::uint64_t pushed() const { return head_.load(std::memory_order_acquire); }
  std::uint64_t dropped() const { return dropped_.load(std::memory_order_relaxed); }

 private:
  const std::size_t capacity_;
  const std::unique_ptr<float[]> ring_;
  std::atomic<std::uint64_t> head_{0};  // written by the producer
  std::atomic<std::uint64_t> tail_{0};  // written by the consumer
  std::atomic<std::uint64_t> dropped_{0};
};

}  // namespace speech_bridge
