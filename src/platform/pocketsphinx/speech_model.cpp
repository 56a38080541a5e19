// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pocketsphinx/speech_model.h"

#include <sys/stat.h>

#include <array>

#include "platform/language_tag.h"

namespace speech_bridge {
namespace {

// SPEECH_BRIDGE_MODEL_DIR: where the build found that the models are installed.
constexpr std::array kLocations = {
    ModelLocation{"en-US", SPEECH_BRIDGE_MODEL_DIR "/en-us", "en-us", "en-us.lm.bin", "cmudict-en-us.dict", 16000,
                  "AA AE AH AO AW AY B CH D DH EH ER EY F G HH IH IY JH K L M N NG OW OY P R S SH T TH UH UW V W "
                  "Y Z ZH"},
};

bool isRegularFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

std::span<const ModelLocation> knownModelLocations() { return kLocations; }

std::optional<SpeechModel> installedModelForLocale(std::string_view identifier,
                                                   std::span<const ModelLocation> locations) {
  const std::string wanted = canonicalLanguageTag(identifier);
  for (const ModelLocation& location : locations) {
    if (canonicalLanguageTag(location.locale) != wanted) continue;
    const std::string folder = std::string(location.folder) + "/";
    SpeechModel model{std::string(location.locale),
                      folder + std::string(location.acousticModel),
                      folder + std::string(location.languageModel),
                      folder + std::string(location.dictionary),
                      location.sampleRate,
                      std::string(location.phones)};
    // mdef is the file PocketSphinx itself insists on in an acoustic model.
    if (isRegularFile(model.acousticModel + "/mdef") && isRegularFile(model.languageModel) &&
        isRegularFile(model.dictionary)) {
      return model;
    }
  }
  return std::nullopt;
}

}  // namespace speech_bridge
