// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace speech_bridge {

// A sample in [-1, 1] as a rounded 16-bit sample, the rest clipped; a
// stream may hold anything, and not-a-number is heard as silence.
inline std::int16_t asInt16(float sample) {
  const float scaled = std::isnan(sample) ? 0.0f : std::clamp(sample * 32768.0f, -32768.0f, 32767.0f);
  return static_cast<std::int16_t>(std::lrint(scaled));
}

}  // namespace speech_bridge
