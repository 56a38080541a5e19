// SPDX-License-Identifier: GPL-3.0-or-later
// libsndfile decodes MP3 with libmpg123, which prints notes about damaged
// streams ("Trying to resync...") to standard error unless each decoder is
// told to be quiet, and libsndfile never tells it. This program therefore
// defines mpg123_new itself: libsndfile's calls reach this definition first
// (the executable comes first in the dynamic linker's search), which makes
// the decoder through the library's own function and then quiets it. The
// link pulls this file in by name (see src/CMakeLists.txt).
#include <dlfcn.h>
#include <mpg123.h>

namespace {

using NewDecoder = mpg123_handle* (*)(const char*, int*);
using SetParameter = int (*)(mpg123_handle*, int, long, double);

}  // namespace

extern "C" mpg123_handle* mpg123_new(const char* decoder, int* error) {
  static const auto make = reinterpret_cast<NewDecoder>(::dlsym(RTLD_NEXT, "mpg123_new"));
  static const auto set = reinterpret_cast<SetParameter>(::dlsym(RTLD_NEXT, "mpg123_param2"));
  if (!make) {
    if (error) *error = MPG123_ERR;
    return nullptr;
  }
  mpg123_handle* handle = make(decoder, error);
  if (handle && set) set(handle, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
  return handle;
}
