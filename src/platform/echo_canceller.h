// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <functional>
#include <memory>

namespace speech_bridge {

// An acoustic echo canceller for one mono stream: it learns how what the
// speakers play (the reference) comes back through the room into the
// microphone, and removes it. Audio goes in 10 ms frames of float samples at
// the rate it was made for. One thread at a time; each call returns quickly.
class EchoCanceller {
 public:
  virtual ~EchoCanceller() = default;

  // Frames in 10 ms.
  virtual std::size_t frameLength() const = 0;

  // 10 ms of what was just handed to the speakers.
  virtual void addReference(const float* frame) = 0;

  // 10 ms of the microphone, cancelled in place. `delayHintMilliseconds`:
  // about how long after its addReference() the echo of a sound reaches
  // cancel(); the canceller refines it itself.
  virtual void cancel(float* frame, int delayHintMilliseconds) = 0;
};

// Makes a canceller for a sample rate, or nullptr where it cannot work at it.
using EchoCancellerMaker = std::function<std::unique_ptr<EchoCanceller>(int sampleRate)>;

}  // namespace speech_bridge
