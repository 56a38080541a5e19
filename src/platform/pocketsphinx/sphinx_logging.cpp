// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pocketsphinx/sphinx_logging.h"

#include <sphinxbase/err.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace speech_bridge {
namespace {

// Several decoders may run at once; each keeps its own thread's errors.
thread_local std::string firstError;

// "ERROR: \"acmod.c\", line 78: Folder ..." -> "Folder ..."
std::string withoutSourcePrefix(std::string message) {
  const auto line = message.find("\", line ");
  if (message.rfind("ERROR: \"", 0) == 0 || message.rfind("FATAL: \"", 0) == 0) {
    const auto colon = line == std::string::npos ? line : message.find(": ", line);
    if (colon != std::string::npos) message.erase(0, colon + 2);
  }
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
  return message;
}

void keepErrors(void*, err_lvl_t level, const char* format, ...) {
  if (level < ERR_ERROR || !firstError.empty()) return;
  char message[1024];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(message, sizeof message, format, arguments);
  va_end(arguments);
  firstError = withoutSourcePrefix(message);
}

}  // namespace

void silenceSphinxLogging() {
  static std::once_flag once;
  std::call_once(once, [] {
    err_set_logfp(nullptr);
    err_set_callback(&keepErrors, nullptr);
  });
}

std::string takeSphinxError() {
  std::string error;
  error.swap(firstError);
  return error;
}

}  // namespace speech_bridge
