// SPDX-License-Identifier: GPL-3.0-or-later
#include "unit/recording_fixtures.h"

#include <sndfile.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace speech_bridge::fixtures {

std::vector<std::int16_t> goForwardSamples() {
  std::ifstream raw(std::string(kTestData) + "/goforward.raw", std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(raw)), std::istreambuf_iterator<char>());
  std::vector<std::int16_t> samples(bytes.size() / 2);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<std::int16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                           (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  }
  return samples;
}

TemporaryFolder::TemporaryFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "speech-bridge-test-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TemporaryFolder::~TemporaryFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void TemporaryFolder::writeFile(const std::string& name, const std::string& bytes) const {
  std::ofstream(path(name), std::ios::binary) << bytes;
}

bool writeSoundFile(const std::string& path, const std::vector<float>& interleaved, int sampleRate, int channels,
                    int format) {
  SF_INFO info{};
  info.samplerate = sampleRate;
  info.channels = channels;
  info.format = format;
  if (!sf_format_check(&info)) return false;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!file) return false;
  const sf_count_t frames = static_cast<sf_count_t>(interleaved.size() / static_cast<std::size_t>(channels));
  const bool complete = sf_writef_float(file, interleaved.data(), frames) == frames;
  return sf_close(file) == 0 && complete;
}

std::vector<float> asFloat(const std::vector<std::int16_t>& samples, int channels) {
  std::vector<float> out;
  out.reserve(samples.size() * static_cast<std::size_t>(channels));
  for (const std::int16_t sample : samples) {
    for (int c = 0; c < channels; ++c) out.push_back(static_cast<float>(sample) / 32768.0f);
  }
  return out;
}

}  // namespace speech_bridge::fixtures
