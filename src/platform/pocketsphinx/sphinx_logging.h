// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace speech_bridge {

// PocketSphinx logs over a thousand lines to standard error unless told
// otherwise. Call before any other PocketSphinx call; later calls do nothing.
// Any thread.
void silenceSphinxLogging();

// The first error PocketSphinx reported on the calling thread since the last
// call, as a sentence without its source-file prefix; empty when none.
std::string takeSphinxError();

}  // namespace speech_bridge
