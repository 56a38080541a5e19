// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pocketsphinx/audio_conversion.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>

namespace speech_bridge {

void mixToMono(std::span<const float> interleaved, unsigned channels, std::vector<float>& mono) {
  const std::size_t frames = channels == 0 ? 0 : interleaved.size() / channels;
  mono.resize(frames);
  if (channels == 1) {
    std::copy_n(interleaved.begin(), frames, mono.begin());
    return;
  }
  for (std::size_t frame = 0; frame < frames; ++frame) {
    float sum = 0.0f;
    for (unsigned channel = 0; channel < channels; ++channel) sum += interleaved[frame * channels + channel];
    mono[frame] = sum / static_cast<float>(channels);
  }
}

void appendAsInt16(std::span<const float> samples, std::vector<std::int16_t>& out) {
  for (const float sample : samples) {
    // A float file may hold anything; not-a-number is heard as silence.
    const float scaled = std::isnan(sample) ? 0.0f : std::clamp(sample * 32768.0f, -32768.0f, 32767.0f);
    out.push_back(static_cast<std::int16_t>(std::lrint(scaled)));
  }
}

MonoResampler::Made MonoResampler::make(double inputRate, double outputRate) {
  const auto refused = [&](const std::string& why) {
    return Made{nullptr, "audio at " + std::to_string(std::lround(inputRate)) + " Hz cannot be converted to " +
                             std::to_string(std::lround(outputRate)) + " Hz: " + why};
  };
  if (!std::isfinite(inputRate) || !std::isfinite(outputRate) || inputRate < 1.0 || outputRate < 1.0) {
    return refused("not a usable sample rate");
  }
  const double ratio = outputRate / inputRate;
  if (inputRate == outputRate) return Made{std::unique_ptr<MonoResampler>(new MonoResampler(nullptr, 1.0)), {}};
  // libsoxr's own limit on the ratio between the rates.
  if (ratio > 256.0 || ratio < 1.0 / 256.0) return refused("the rates are too far apart");
  soxr_error_t error = nullptr;
  // libsoxr's defaults: 32-bit float in and out, high quality, one thread.
  soxr_t resampler = soxr_create(inputRate, outputRate, 1, &error, nullptr, nullptr, nullptr);
  if (!resampler) return refused(error ? error : "libsoxr gave no reason");
  return Made{std::unique_ptr<MonoResampler>(new MonoResampler(resampler, ratio)), {}};
}

MonoResampler::~MonoResampler() {
  if (resampler_) soxr_delete(resampler_);
}

void MonoResampler::process(std::span<const float> input, std::vector<std::int16_t>& out) {
  if (!resampler_) {
    appendAsInt16(input, out);
    return;
  }
  if (!input.empty()) drain(input.data(), input.size(), out);
}

void MonoResampler::flush(std::vector<std::int16_t>& out) {
  if (resampler_) drain(nullptr, 0, out);
}

// With no input, soxr_process() flushes; it is called until it gives no more.
void MonoResampler::drain(const float* input, std::size_t length, std::vector<std::int16_t>& out) {
  converted_.resize(static_cast<std::size_t>(std::ceil(static_cast<double>(length) * ratio_)) + 1024);
  for (;;) {
    std::size_t used = 0;
    std::size_t made = 0;
    soxr_process(resampler_, input, length, input ? &used : nullptr, converted_.data(), converted_.size(), &made);
    appendAsInt16(std::span<const float>(converted_.data(), made), out);
    if (used == 0 && made == 0) return;
    if (input) {
      input += used;
      length -= used;
      if (length == 0) return;
    } else if (made == 0) {
      return;
    }
  }
}

}  // namespace speech_bridge
