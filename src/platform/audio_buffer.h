// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace speech_bridge {

struct AudioFormat {
  double sampleRate = 0.0;    // hertz; 0 when there is no usable input
  std::uint32_t channelCount = 0;
};

// A view of captured PCM audio: interleaved 32-bit float samples in [-1, 1].
// Valid only during the call that hands it over.
struct AudioPcmBuffer {
  const float* samples = nullptr;
  std::uint32_t frameLength = 0;
  AudioFormat format;
};

}  // namespace speech_bridge
