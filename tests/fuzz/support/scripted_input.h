// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace speech_bridge::fuzz {

// A fuzz input read as what a host writes to standard input over time:
//
//   settings byte, then pieces. Each piece is a header byte H and its bytes:
//   H >> 6 is the number of grid steps since the previous piece (0: the same
//   moment); L = H & 0x3F is the length, or, when L is 63, the next two bytes
//   give it (big-endian, up to 65535). A piece cut short by the end of the
//   input takes what is left.
//
// So any byte string, split in any way and spread over time, can be written.
struct ScriptedInput {
  std::uint8_t settings = 0;  // read by each target in its own way
  struct Piece {
    int step;  // on the input grid, see inputTime()
    std::string bytes;
  };
  std::vector<Piece> pieces;
  int lastStep = 0;  // of the last piece, or 0

  std::string allBytes() const;
};

ScriptedInput readScriptedInput(const std::uint8_t* data, std::size_t size);

// Seconds after the start of the job at which input of grid step `step`
// becomes readable: 0.1 + 0.4 * step. Targets keep their own timers off this
// grid, so that no input arrives at the very moment a timer is due and the
// expected order of events is never a tie.
inline double inputTime(int step) { return 0.1 + 0.4 * step; }

}  // namespace speech_bridge::fuzz
