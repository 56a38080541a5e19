// SPDX-License-Identifier: GPL-3.0-or-later
// Finding the echo's delay from the sound, and the canceller removing an
// echo that it found so.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/audio/echo_delay_finder.h"
#include "platform/audio/least_squares_echo_canceller.h"

namespace speech_bridge {
namespace {

// Noise made darker by a one-pole low-pass, as music and speech are, and
// the same for a seed.
std::vector<float> colouredNoise(std::size_t count, std::uint32_t seed, float level) {
  std::vector<float> out(count);
  float state = 0.0f;
  for (float& sample : out) {
    seed = seed * 1664525u + 1013904223u;
    const float white = static_cast<float>(seed >> 8) / static_cast<float>(1u << 24) * 2.0f - 1.0f;
    state = 0.9f * state + 0.1f * white;
    sample = state * level;
  }
  return out;
}

// The player's words: noise that rises and falls four times a second.
std::vector<float> syllables(std::size_t count, int rate, float level) {
  std::vector<float> out = colouredNoise(count, 7u, level);
  for (std::size_t i = 0; i < count; ++i) {
    out[i] *= static_cast<float>(std::fabs(std::sin(3.14159265 * 4.0 * static_cast<double>(i) / rate)));
  }
  return out;
}

double energy(const std::vector<float>& samples, std::size_t from, std::size_t to) {
  double sum = 0.0;
  for (std::size_t i = from; i < to; ++i) sum += double(samples[i]) * samples[i];
  return sum;
}

TEST(EchoDelayFinder, FindsTheEchoUnderThePlayersWordsAndNothingWhereThereIsNone) {
  struct Case {
    const char* name;
    int rate;
    double delaySeconds;
    float echo;    // the echo's level in the microphone
    float speech;  // the player's, speaking over it
    bool found;
  };
  const Case cases[] = {
      {"a room's echo", 16000, 0.12, 0.3f, 0.0f, true},
      {"a long way round, under louder words", 44100, 0.9, 0.1f, 0.3f, true},
      {"the first samples", 48000, 0.0, 0.3f, 0.1f, true},
      {"words and no echo", 16000, 0.12, 0.0f, 0.3f, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto window = static_cast<std::size_t>(c.rate * 0.5);
    const auto longest = static_cast<std::size_t>(c.rate * 1.0);
    const auto delay = static_cast<std::size_t>(c.rate * c.delaySeconds);
    // What was played, from the longest lag before the window to its end.
    const std::vector<float> played = colouredNoise(longest + window, 1u, 1.0f);
    std::vector<float> microphone = syllables(window, c.rate, c.speech);
    for (std::size_t i = 0; i < window; ++i) microphone[i] += c.echo * played[longest + i - delay];
    EchoDelayFinder finder(c.rate, longest, window);
    const std::optional<std::size_t> found = finder.find(microphone, played);
    ASSERT_EQ(found.has_value(), c.found);
    if (c.found) {
      EXPECT_NEAR(static_cast<double>(*found), static_cast<double>(delay), 1.0);
    }
  }
}

// The desktop's rate, a room 140 ms away. From the frame after the delay is
// found, the echo is gone; and while the player speaks over it, words as
// loud as the echo (where an adaptive filter's steps wander off), it stays
// well down, from the first frame of words, or from the job's first frame
// with the echo's delay drifting as between two sound cards' clocks.
TEST(LeastSquaresEchoCanceller, RemovesAnEchoItFoundItselfEvenUnderThePlayersWords) {
  constexpr int kRate = 44100;
  struct Case {
    const char* name;
    std::size_t wordsFrom;  // frames
    double drift;           // samples of delay more per sample
    double underWords;      // how much less echo while the player speaks
  };
  const Case cases[] = {
      {"words after 1.5 s of echo alone", 150, 0.0, 100.0},
      {"words from the start, the delay drifting 50 ppm", 0, 50e-6, 30.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::unique_ptr<EchoCanceller> canceller = makeLeastSquaresEchoCanceller(kRate);
    ASSERT_NE(canceller, nullptr);
    const std::size_t frame = canceller->frameLength();
    ASSERT_EQ(frame, static_cast<std::size_t>(kRate / 100));
    const std::size_t total = frame * 300;  // 3 s
    const std::vector<float> played = colouredNoise(total, 1u, 0.5f);
    std::vector<float> words = syllables(total, kRate, 0.3f);
    const std::size_t wordsFrom = frame * c.wordsFrom;
    std::fill(words.begin(), words.begin() + static_cast<std::ptrdiff_t>(wordsFrom), 0.0f);
    std::vector<float> echo(total, 0.0f);
    for (std::size_t i = 0; i < total; ++i) {
      const double at = static_cast<double>(i) - kRate * 0.14 - c.drift * static_cast<double>(i);
      if (at < 0.0) continue;
      const auto before = static_cast<std::size_t>(at);
      const double part = at - static_cast<double>(before);
      echo[i] = static_cast<float>(0.6 * ((1.0 - part) * played[before] + part * played[before + 1]));
    }
    std::vector<float> left(total);
    for (std::size_t at = 0; at < total; at += frame) {
      canceller->addReference(played.data() + at);
      for (std::size_t i = at; i < at + frame; ++i) left[i] = echo[i] + words[i];
      canceller->cancel(left.data() + at, 0);
      for (std::size_t i = at; i < at + frame; ++i) left[i] -= words[i];
    }
    // Found within half a second: by then, half of what came holds the lag.
    const std::size_t found = frame * 50;
    if (wordsFrom > found) {
      EXPECT_LT(energy(left, found, wordsFrom), energy(echo, found, wordsFrom) / 1000.0) << "30 dB less";
    }
    const std::size_t from = std::max(found, wordsFrom);
    EXPECT_LT(energy(left, from, total), energy(echo, from, total) / c.underWords) << "under the words";
  }
}

TEST(LeastSquaresEchoCanceller, IsMadeForRatesItCanWorkAt) {
  EXPECT_EQ(makeLeastSquaresEchoCanceller(4000), nullptr);
  EXPECT_NE(makeLeastSquaresEchoCanceller(16000), nullptr);
}

}  // namespace
}  // namespace speech_bridge
