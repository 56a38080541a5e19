// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

struct soxr;

namespace speech_bridge {

// Averages interleaved frames of `channels` channels into one channel,
// replacing the contents of `mono`.
void mixToMono(std::span<const float> interleaved, unsigned channels, std::vector<float>& mono);

// Appends samples in [-1, 1] as rounded 16-bit samples, clipping the rest.
void appendAsInt16(std::span<const float> samples, std::vector<std::int16_t>& out);

// Converts a stream of mono samples from one rate to 16-bit samples at
// another, with libsoxr's high-quality filter; a plain conversion when the
// rates are equal, so audio already at the model's rate passes bit-exact.
class MonoResampler {
 public:
  struct Made;

  // A resampler, or why the rates cannot be converted.
  static Made make(double inputRate, double outputRate);

  ~MonoResampler();
  MonoResampler(const MonoResampler&) = delete;
  MonoResampler& operator=(const MonoResampler&) = delete;

  // Appends to `out` what `input` completes; the filter holds some back.
  void process(std::span<const float> input, std::vector<std::int16_t>& out);

  // Appends what the filter still holds. Once, after the last input.
  void flush(std::vector<std::int16_t>& out);

 private:
  MonoResampler(soxr* resampler, double ratio) : resampler_(resampler), ratio_(ratio) {}
  void drain(const float* input, std::size_t length, std::vector<std::int16_t>& out);

  soxr* resampler_;  // none when the rates are equal
  double ratio_;
  std::vector<float> converted_;
};

struct MonoResampler::Made {
  std::unique_ptr<MonoResampler> resampler;
  std::string error;  // one readable sentence when `resampler` is empty
};

}  // namespace speech_bridge
