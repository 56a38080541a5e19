// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace speech_bridge::e2e {

// 16-bit PCM audio as the test tools write and read it.
struct PcmAudio {
  int sampleRate = 0;
  int channels = 0;
  std::vector<std::int16_t> samples;  // interleaved

  double seconds() const;
  // Seconds of audio whose level stays above `threshold` (0..1), measured in
  // 10 ms windows: how long something audible was playing.
  double audibleSeconds(double threshold = 0.01) const;
  double peak() const;  // 0..1
};

// PocketSphinx's test recording of "go forward ten meters": raw 16-bit,
// 16 kHz, mono (package pocketsphinx-testdata).
inline const std::string kGoForwardRecording = "/usr/share/pocketsphinx/test/data/goforward.raw";

// Reads raw 16-bit 16 kHz mono audio such as that recording.
PcmAudio readRaw16kMono(const std::string& path);

PcmAudio sineWave(double frequency, double seconds, int sampleRate, int channels);
void writeWav(const std::string& path, const PcmAudio& audio);
// Reads a 16-bit PCM WAV file (as parecord and sox write it); throws otherwise.
PcmAudio readWav(const std::string& path);

}  // namespace speech_bridge::e2e
