// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/audio_output.h"
#include "platform/audio/sample_ring.h"

namespace speech_bridge {

// What a playback's producer shares with the thread that hands its samples
// to the device or the server, whichever backend that is: the queue between
// them, the limit stopAfter() sets, the counts, and how the playback ended.
struct QueuedPlaybackState {
  static constexpr std::size_t kNoLimit = std::numeric_limits<std::size_t>::max();

  explicit QueuedPlaybackState(int sampleRate)
      : queue(static_cast<std::size_t>(sampleRate * kQueueSeconds)),
        startThreshold(static_cast<std::size_t>(sampleRate * kStartSeconds)) {}

  // Queues the samples, waiting while the queue is full, and calls
  // `afterPush` after each push, where the backend starts the output or
  // hands samples on. The rules of AudioPlayback::write.
  template <typename AfterPush>
  bool write(const std::int16_t* samples, std::size_t count, AfterPush afterPush) {
    while (!stopRequested.load(std::memory_order_acquire)) {
      if (written >= limit.load(std::memory_order_acquire)) return false;
      const std::size_t pushed = queue.push(samples, count);
      written += pushed;
      samples += pushed;
      count -= pushed;
      afterPush();
      if (hasEnded()) return false;
      if (count == 0) return true;
      std::this_thread::sleep_for(kFullQueuePause);
    }
    return false;
  }

  // The first ending is the one that counts.
  void end(AudioPlayback::Ending how) {
    {
      std::lock_guard lock(endMutex);
      if (!ending) ending = how;
    }
    ended.notify_all();
  }

  bool hasEnded() {
    std::lock_guard lock(endMutex);
    return ending.has_value();
  }

  AudioPlayback::Ending waitUntilEnded() {
    std::unique_lock lock(endMutex);
    ended.wait(lock, [this] { return ending.has_value(); });
    return *ending;
  }

  // Brings the limit down to `sampleCount`, never up.
  void limitTo(std::size_t sampleCount) {
    std::size_t current = limit.load(std::memory_order_acquire);
    while (sampleCount < current && !limit.compare_exchange_weak(current, sampleCount)) {
    }
  }

  // Whether the output was cut short rather than played to the end.
  bool cutShort() const {
    return stopRequested.load(std::memory_order_acquire) || limit.load(std::memory_order_acquire) != kNoLimit;
  }

  // Enough to ride out a busy moment on the producer's side; more only adds
  // memory, since the producer runs far ahead of real time.
  static constexpr double kQueueSeconds = 5.0;
  // Output starts once this much is queued (or writing has finished), so the
  // first buffers hold speech rather than silence.
  static constexpr double kStartSeconds = 0.1;
  // How long a producer facing a full queue waits before looking again. The
  // queue then holds seconds of audio, so nothing is late for it.
  static constexpr auto kFullQueuePause = std::chrono::milliseconds(10);

  SampleRing<std::int16_t> queue;
  const std::size_t startThreshold;
  std::atomic<bool> stopRequested{false};
  std::atomic<bool> writingFinished{false};
  std::atomic<std::size_t> limit{kNoLimit};  // set by stopAfter()
  std::atomic<std::size_t> played{0};        // handed to the device or server
  std::size_t written = 0;                   // the producer's own count

  std::mutex endMutex;
  std::condition_variable ended;
  std::optional<AudioPlayback::Ending> ending;
};

}  // namespace speech_bridge
