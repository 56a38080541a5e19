// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

namespace speech_bridge {

// Why the open file `descriptor` (at `path`) cannot hold audio, judged from
// what it is: "... is a directory", "... is not a regular file", "... is
// empty". Nothing when it is a regular file with content.
std::optional<std::string> nonAudioFileKind(const std::string& path, int descriptor);

// A sentence for a regular file whose format the audio library did not
// recognise, saying what it seems to be instead.
std::string unrecognisedFileDescription(const std::string& path, int descriptor);

}  // namespace speech_bridge
