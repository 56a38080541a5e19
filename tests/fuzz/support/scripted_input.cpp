// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/scripted_input.h"

#include <algorithm>

namespace speech_bridge::fuzz {

std::string ScriptedInput::allBytes() const {
  std::string all;
  for (const Piece& piece : pieces) all += piece.bytes;
  return all;
}

ScriptedInput readScriptedInput(const std::uint8_t* data, std::size_t size) {
  ScriptedInput input;
  if (size == 0) return input;
  input.settings = data[0];
  std::size_t at = 1;
  int step = 0;
  while (at < size) {
    const std::uint8_t header = data[at++];
    step += header >> 6;
    std::size_t length = header & 0x3F;
    if (length == 63) {
      length = 0;
      for (int i = 0; i < 2 && at < size; ++i) length = length << 8 | data[at++];
    }
    length = std::min(length, size - at);
    input.pieces.push_back({step, std::string(reinterpret_cast<const char*>(data + at), length)});
    at += length;
  }
  input.lastStep = step;
  return input;
}

}  // namespace speech_bridge::fuzz
