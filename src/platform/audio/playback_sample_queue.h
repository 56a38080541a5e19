// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace speech_bridge {

// Samples on their way from one producer thread to the audio callback. Neither
// side locks or allocates, so the callback never waits on the producer.
class PlaybackSampleQueue {
 public:
  explicit PlaybackSampleQueue(std::size_t capacity) : samples_(capacity) {}

  // Producer: copies as many of `count` samples as there is room for and
  // returns how many that was.
  std::size_t push(const std::int16_t* samples, std::size_t count) {
    const std::size_t head = head_.load(std::memory_order_relaxed);
    const std::size_t tail = tail_.load(std::memory_order_acquire);
    const std::size_t room = samples_.size() - (head - tail);
    const std::size_t taken = count < room ? count : room;
    for (std::size_t i = 0; i < taken; ++i) samples_[(head + i) % samples_.size()] = samples[i];
    head_.store(head + taken, std::memory_order_release);
    return taken;
  }

  // Consumer: moves up to `count` samples into `out` and returns how many.
  std::size_t pop(std::int16_t* out, std::size_t count) {
    const std::size_t tail = tail_.load(std::memory_order_relaxed);
    const std::size_t head = head_.load(std::memory_order_acquire);
    const std::size_t available = head - tail;
    const std::size_t taken = count < available ? count : available;
    for (std::size_t i = 0; i < taken; ++i) out[i] = samples_[(tail + i) % samples_.size()];
    tail_.store(tail + taken, std::memory_order_release);
    return taken;
  }

  // Either side; exact only on the side that cannot change it.
  std::size_t size() const {
    return head_.load(std::memory_order_acquire) - tail_.load(std::memory_order_acquire);
  }
  std::size_t capacity() const { return samples_.size(); }

 private:
  std::vector<std::int16_t> samples_;
  // Counts of samples ever pushed and popped; only their difference matters.
  std::atomic<std::size_t> head_{0};
  std::atomic<std::size_t> tail_{0};
};

}  // namespace speech_bridge
