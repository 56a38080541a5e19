// SPDX-License-Identifier: GPL-3.0-or-later
#include "e2e/wav_file.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace speech_bridge::e2e {
namespace {

template <typename T>
void put(std::ofstream& out, T value) {
  out.write(reinterpret_cast<const char*>(&value), sizeof value);
}

template <typename T>
T get(const std::string& bytes, std::size_t at) {
  T value{};
  if (at + sizeof value > bytes.size()) throw std::runtime_error("truncated WAV file");
  std::memcpy(&value, bytes.data() + at, sizeof value);
  return value;
}

}  // namespace

double PcmAudio::seconds() const {
  return channels && sampleRate ? static_cast<double>(samples.size()) / channels / sampleRate : 0.0;
}

double PcmAudio::audibleSeconds(double threshold) const {
  if (!channels || !sampleRate) return 0.0;
  const std::size_t window = static_cast<std::size_t>(sampleRate / 100) * static_cast<std::size_t>(channels);
  std::size_t audibleWindows = 0;
  for (std::size_t start = 0; start + window <= samples.size(); start += window) {
    double sum = 0;
    for (std::size_t i = start; i < start + window; ++i) sum += double(samples[i]) * samples[i];
    if (std::sqrt(sum / static_cast<double>(window)) / 32768.0 > threshold) ++audibleWindows;
  }
  return static_cast<double>(audibleWindows) * 0.01;
}

double PcmAudio::peak() const {
  int peak = 0;
  for (std::int16_t s : samples) peak = std::max(peak, std::abs(int(s)));
  return peak / 32768.0;
}

PcmAudio readRaw16kMono(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  PcmAudio audio{16000, 1, std::vector<std::int16_t>(bytes.size() / 2)};
  std::memcpy(audio.samples.data(), bytes.data(), audio.samples.size() * 2);
  return audio;
}

PcmAudio sineWave(double frequency, double seconds, int sampleRate, int channels) {
  PcmAudio audio{sampleRate, channels, {}};
  const auto frames = static_cast<std::size_t>(seconds * sampleRate);
  for (std::size_t i = 0; i < frames; ++i) {
    const auto value = static_cast<std::int16_t>(12000 * std::sin(2 * M_PI * frequency * double(i) / sampleRate));
    for (int c = 0; c < channels; ++c) audio.samples.push_back(value);
  }
  return audio;
}

void writeWav(const std::string& path, const PcmAudio& audio) {
  std::ofstream out(path, std::ios::binary);
  const auto dataBytes = static_cast<std::uint32_t>(audio.samples.size() * 2);
  out.write("RIFF", 4);
  put<std::uint32_t>(out, 36 + dataBytes);
  out.write("WAVEfmt ", 8);
  put<std::uint32_t>(out, 16);
  put<std::uint16_t>(out, 1);
  put<std::uint16_t>(out, static_cast<std::uint16_t>(audio.channels));
  put<std::uint32_t>(out, static_cast<std::uint32_t>(audio.sampleRate));
  put<std::uint32_t>(out, static_cast<std::uint32_t>(audio.sampleRate * audio.channels * 2));
  put<std::uint16_t>(out, static_cast<std::uint16_t>(audio.channels * 2));
  put<std::uint16_t>(out, 16);
  out.write("data", 4);
  put<std::uint32_t>(out, dataBytes);
  out.write(reinterpret_cast<const char*>(audio.samples.data()), dataBytes);
}

PcmAudio readWav(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0) {
    throw std::runtime_error(path + " is not a WAV file");
  }
  PcmAudio audio;
  for (std::size_t at = 12; at + 8 <= bytes.size();) {
    const std::string id = bytes.substr(at, 4);
    auto size = get<std::uint32_t>(bytes, at + 4);
    const std::size_t body = at + 8;
    if (id == "fmt ") {
      if (get<std::uint16_t>(bytes, body + 14) != 16) throw std::runtime_error("not 16-bit PCM");
      audio.channels = get<std::uint16_t>(bytes, body + 2);
      audio.sampleRate = static_cast<int>(get<std::uint32_t>(bytes, body + 4));
    } else if (id == "data") {
      // A recorder stopped by a signal may leave the size unset.
      const std::size_t available = bytes.size() - body;
      const std::size_t length = size == 0 || size > available ? available : size;
      audio.samples.resize(length / 2);
      std::memcpy(audio.samples.data(), bytes.data() + body, audio.samples.size() * 2);
      break;
    }
    at = body + size + (size & 1);
  }
  if (!audio.channels || !audio.sampleRate) throw std::runtime_error(path + " has no format");
  return audio;
}

}  // namespace speech_bridge::e2e
