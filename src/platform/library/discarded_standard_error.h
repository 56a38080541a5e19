// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace speech_bridge {

// Points the C library's `stderr` stream at a stream that drops what it is
// given, and makes C++'s std::cerr and std::clog drop what they are given,
// for the rest of the process. Some libraries (eSpeak NG, Festival among them)
// print diagnostics there with no way to turn them off, and this program
// writes nothing to standard error. File descriptor 2 itself is left alone.
// Thread-safe; only the first call does anything.
void discardStandardErrorStream();

}  // namespace speech_bridge
