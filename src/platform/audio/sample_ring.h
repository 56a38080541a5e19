// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <type_traits>
#include <utility>

namespace speech_bridge {

// Samples handed from one producer thread to one consumer thread without a
// lock: a ring of fixed size, allocated once, up front. Neither side waits or
// allocates, so an audio thread on either side is never held up by the other.
template <typename Sample>
class SampleRing {
  static_assert(std::is_trivially_copyable_v<Sample>);

 public:
  // Not value-initialised: untouched pages cost nothing until audio arrives.
  explicit SampleRing(std::size_t capacity)
      : capacity_(std::max<std::size_t>(capacity, 1)), ring_(new Sample[capacity_]) {}

  SampleRing(const SampleRing&) = delete;
  SampleRing& operator=(const SampleRing&) = delete;

  // Producer only. Copies as many of the samples as there is room for and
  // returns how many that was.
  std::size_t push(const Sample* samples, std::size_t count) {
    const std::uint64_t head = head_.load(std::memory_order_relaxed);
    const std::size_t taken = std::min(count, capacity_ - static_cast<std::size_t>(head - tail()));
    const auto [at, first] = firstRun(head, taken);
    std::memcpy(ring_.get() + at, samples, first * sizeof(Sample));
    std::memcpy(ring_.get(), samples + first, (taken - first) * sizeof(Sample));
    head_.store(head + taken, std::memory_order_release);
    return taken;
  }

  // Producer only. Appends all the samples, or none when they do not fit;
  // the samples of a refused call are counted as dropped.
  bool pushAll(const Sample* samples, std::size_t count) {
    if (count > capacity_ - size()) {
      dropped_.fetch_add(count, std::memory_order_relaxed);
      return false;
    }
    push(samples, count);
    return true;
  }

  // Consumer only. Moves up to `max` samples into `out`; returns how many.
  std::size_t pop(Sample* out, std::size_t max) {
    const std::uint64_t tail = tail_.load(std::memory_order_relaxed);
    const std::size_t taken = std::min(max, static_cast<std::size_t>(pushed() - tail));
    const auto [at, first] = firstRun(tail, taken);
    std::memcpy(out, ring_.get() + at, first * sizeof(Sample));
    std::memcpy(out + first, ring_.get(), (taken - first) * sizeof(Sample));
    tail_.store(tail + taken, std::memory_order_release);
    return taken;
  }

  // Samples waiting. Either side; exact only on the side that cannot change it.
  std::size_t size() const { return static_cast<std::size_t>(pushed() - tail()); }
  std::size_t capacity() const { return capacity_; }

  // Samples pushed so far, in total; any thread. A consumer that reads this
  // sees every sample up to it.
  std::uint64_t pushed() const { return head_.load(std::memory_order_acquire); }
  std::uint64_t dropped() const { return dropped_.load(std::memory_order_relaxed); }

 private:
  std::uint64_t tail() const { return tail_.load(std::memory_order_acquire); }

  // The ring's positions from `from` on, as at most two runs: where the
  // first starts and how long it is (the second starts at 0).
  std::pair<std::size_t, std::size_t> firstRun(std::uint64_t from, std::size_t count) const {
    const auto at = static_cast<std::size_t>(from % capacity_);
    return {at, std::min(count, capacity_ - at)};
  }

  const std::size_t capacity_;
  const std::unique_ptr<Sample[]> ring_;
  std::atomic<std::uint64_t> head_{0};  // written by the producer
  std::atomic<std::uint64_t> tail_{0};  // written by the consumer
  std::atomic<std::uint64_t> dropped_{0};
};

}  // namespace speech_bridge
