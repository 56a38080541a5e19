// SPDX-License-Identifier: GPL-3.0-or-later
// Finding the echo's delay from the sound, and the real SpeexDSP canceller
// removing an echo that it found so.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/audio/echo_delay_finder.h"
#include "platform/speexdsp/speex_echo_canceller.h"

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
      EXPECT_NEAR(static_cast<double>(*found), static_cast<double>(delay), c.rate / 1000.0);
    }
  }
}

// The desktop's rate, a room 140 ms away: from the frame after the delay is
// found, the echo is gone, and while the player speaks over it (the hardest
// case for an adaptive filter: words as loud as the echo, from the first
// frame) it is still well down.
TEST(SpeexEchoCanceller, RemovesAnEchoItFoundItselfFromTheFrameAfter) {
  constexpr int kRate = 44100;
  const std::unique_ptr<EchoCanceller> canceller = makeSpeexEchoCanceller(kRate);
  ASSERT_NE(canceller, nullptr);
  const std::size_t frame = canceller->frameLength();
  ASSERT_EQ(frame, static_cast<std::size_t>(kRate / 100));
  const std::size_t total = frame * 300;  // 3 s
  const auto delay = static_cast<std::size_t>(kRate * 0.14);
  const std::vector<float> played = colouredNoise(total, 1u, 0.5f);
  std::vector<float> words = syllables(total, kRate, 0.3f);
  const std::size_t wordsFrom = frame * 150;
  std::fill(words.begin(), words.begin() + static_cast<std::ptrdiff_t>(wordsFrom), 0.0f);
  std::vector<float> echo(total, 0.0f);
  for (std::size_t i = delay; i < total; ++i) echo[i] = 0.6f * played[i - delay];
  std::vector<float> left(total);
  for (std::size_t at = 0; at < total; at += frame) {
    canceller->addReference(played.data() + at);
    for (std::size_t i = at; i < at + frame; ++i) left[i] = echo[i] + words[i];
    canceller->cancel(left.data() + at, 0);
    for (std::size_t i = at; i < at + frame; ++i) left[i] -= words[i];
  }
  // The delay is looked for every 0.1 s, over at least 0.3 s of sound.
  const std::size_t found = frame * 60;
  EXPECT_LT(energy(left, found, wordsFrom), energy(echo, found, wordsFrom) / 100.0) << "20 dB less";
  EXPECT_LT(energy(left, wordsFrom, total), energy(echo, wordsFrom, total) / 4.0) << "6 dB less";
}

TEST(SpeexEchoCanceller, IsMadeForRatesItCanWorkAt) {
  EXPECT_EQ(makeSpeexEchoCanceller(4000), nullptr);
  EXPECT_NE(makeSpeexEchoCanceller(16000), nullptr);
}

}  // namespace
}  // namespace speech_bridge
