// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace speech_bridge::fixtures {

// The package pocketsphinx-testdata's recordings.
inline constexpr const char* kTestData = "/usr/share/pocketsphinx/test/data";

// "go forward ten meters": 16 kHz mono 16-bit samples.
std::vector<std::int16_t> goForwardSamples();

// A folder of its own under the system's temporary folder, removed with
// everything in it when the object goes.
class TemporaryFolder {
 public:
  TemporaryFolder();
  ~TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  std::string path(const std::string& name) const { return path_ + "/" + name; }
  void writeFile(const std::string& name, const std::string& bytes) const;

 private:
  std::string path_;
};

// Writes interleaved samples in [-1, 1] with libsndfile; `format` is a
// libsndfile format such as SF_FORMAT_WAV | SF_FORMAT_PCM_16. False when
// this libsndfile cannot write that format.
bool writeSoundFile(const std::string& path, const std::vector<float>& interleaved, int sampleRate, int channels,
                    int format);

// Samples as floats, each repeated on `channels` channels.
std::vector<float> asFloat(const std::vector<std::int16_t>& samples, int channels = 1);

}  // namespace speech_bridge::fixtures
