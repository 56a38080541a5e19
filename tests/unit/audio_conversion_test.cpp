// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pocketsphinx/audio_conversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace speech_bridge {
namespace {

std::vector<float> sine(double frequency, double rate, double seconds, float amplitude) {
  std::vector<float> samples(static_cast<std::size_t>(rate * seconds));
  for (std::size_t i = 0; i < samples.size(); ++i) {
    samples[i] = amplitude * static_cast<float>(std::sin(2.0 * std::numbers::pi * frequency * static_cast<double>(i) / rate));
  }
  return samples;
}

double rms(const std::vector<std::int16_t>& samples, std::size_t from, std::size_t to) {
  double sum = 0;
  for (std::size_t i = from; i < to; ++i) sum += static_cast<double>(samples[i]) * samples[i];
  return std::sqrt(sum / static_cast<double>(to - from));
}

TEST(MixToMono, AveragesTheChannelsOfEachFrame) {
  std::vector<float> mono = {9.0f};
  mixToMono(std::vector<float>{0.5f, -0.5f, 0.25f, 0.75f, 1.0f, 0.0f}, 2, mono);
  EXPECT_EQ(mono, (std::vector<float>{0.0f, 0.5f, 0.5f}));
  mixToMono(std::vector<float>{0.1f, 0.2f, 0.3f}, 3, mono);
  ASSERT_EQ(mono.size(), 1u);
  EXPECT_FLOAT_EQ(mono[0], 0.2f);
}

TEST(AppendAsInt16, RoundsAndClips) {
  std::vector<std::int16_t> out = {7};
  appendAsInt16(std::vector<float>{0.0f, 0.5f, -0.5f, 1.0f, -1.0f, 3.0f, -3.0f, 1.0f / 32768.0f, std::nanf("")}, out);
  EXPECT_EQ(out, (std::vector<std::int16_t>{7, 0, 16384, -16384, 32767, -32768, 32767, -32768, 1, 0}));
}

TEST(MonoResampler, EqualRatesPassSixteenBitAudioUnchanged) {
  MonoResampler::Made made = MonoResampler::make(16000, 16000);
  ASSERT_TRUE(made.resampler) << made.error;
  std::vector<float> input;
  for (int value = -32768; value < 32768; value += 97) input.push_back(static_cast<float>(value) / 32768.0f);
  std::vector<std::int16_t> out;
  made.resampler->process(input, out);
  made.resampler->flush(out);
  ASSERT_EQ(out.size(), input.size());
  for (std::size_t i = 0; i < input.size(); ++i) ASSERT_EQ(out[i], static_cast<int>(input[i] * 32768.0f));
}

TEST(MonoResampler, StreamsAToneToTheNewRateKeepingItsLevel) {
  MonoResampler::Made made = MonoResampler::make(44100, 16000);
  ASSERT_TRUE(made.resampler) << made.error;
  const std::vector<float> tone = sine(440, 44100, 1.0, 0.5f);
  std::vector<std::int16_t> out;
  for (std::size_t at = 0; at < tone.size(); at += 1001) {
    const std::size_t count = std::min<std::size_t>(1001, tone.size() - at);
    made.resampler->process(std::span<const float>(tone.data() + at, count), out);
  }
  made.resampler->flush(out);
  EXPECT_NEAR(static_cast<double>(out.size()), 16000.0, 2.0);
  // A sine of amplitude 0.5 has an RMS of 0.5 / sqrt(2) of full scale.
  EXPECT_NEAR(rms(out, 2000, 14000), 0.5 / std::sqrt(2.0) * 32768.0, 100.0);
}

TEST(MonoResampler, RemovesWhatTheNewRateCannotCarry) {
  MonoResampler::Made made = MonoResampler::make(48000, 16000);
  ASSERT_TRUE(made.resampler);
  std::vector<std::int16_t> out;
  made.resampler->process(sine(12000, 48000, 0.5, 0.5f), out);
  made.resampler->flush(out);
  ASSERT_GT(out.size(), 6000u);
  EXPECT_LT(rms(out, 1000, 6000), 50.0) << "12 kHz is above the 8 kHz a 16 kHz stream can hold";
}

TEST(MonoResampler, RefusesUnusableRates) {
  EXPECT_EQ(MonoResampler::make(0, 16000).error, "audio at 0 Hz cannot be converted to 16000 Hz: not a usable sample rate");
  EXPECT_EQ(MonoResampler::make(8000000, 16000).error,
            "audio at 8000000 Hz cannot be converted to 16000 Hz: the rates are too far apart");
  EXPECT_TRUE(MonoResampler::make(8000, 16000).resampler);
}

}  // namespace
}  // namespace speech_bridge
