// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/library/discarded_standard_error.h"

#include <cstdio>
#include <iostream>
#include <mutex>

namespace speech_bridge {
namespace {

ssize_t dropWrite(void*, const char*, std::size_t size) { return static_cast<ssize_t>(size); }

}  // namespace

void discardStandardErrorStream() {
  static std::once_flag once;
  std::call_once(once, [] {
    cookie_io_functions_t functions{};
    functions.write = &dropWrite;
    // The GNU C library lets a program replace `stderr`; the stream is never
    // closed, so that no thread can be left holding a closed one.
    if (FILE* sink = fopencookie(nullptr, "w", functions)) {
      std::setvbuf(sink, nullptr, _IONBF, 0);
      stderr = sink;
    }
    // C++'s error streams write to the stream `stderr` was at start-up: a
    // stream without a buffer drops what it is given.
    std::cerr.rdbuf(nullptr);
    std::clog.rdbuf(nullptr);
  });
}

}  // namespace speech_bridge
