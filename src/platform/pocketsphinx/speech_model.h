// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace speech_bridge {

// The files of one installed PocketSphinx model.
struct SpeechModel {
  std::string locale;         // as in the table, such as "en-US"
  std::string acousticModel;  // folder
  std::string languageModel;  // file
  std::string dictionary;     // file
  int sampleRate = 16000;     // hertz the acoustic model was trained on
  std::string phones;         // the acoustic model's speech phones, space-separated
};

// One row of the table of models this machine may have.
struct ModelLocation {
  std::string_view locale;
  std::string_view folder;
  std::string_view acousticModel;  // relative to folder
  std::string_view languageModel;
  std::string_view dictionary;
  int sampleRate;
  std::string_view phones = {};
};

// The packaged models, in the folder the build found them installed in.
// Another installed model is one more row.
std::span<const ModelLocation> knownModelLocations();

// The model for a locale identifier whose files are all present, or nothing.
// Looks at the file system only (cheap): nothing is loaded.
std::optional<SpeechModel> installedModelForLocale(std::string_view identifier,
                                                   std::span<const ModelLocation> locations = knownModelLocations());

}  // namespace speech_bridge
