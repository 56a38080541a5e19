// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pocketsphinx/background_gate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace speech_bridge {
namespace {

constexpr int kRate = 16000;

double rmsDb(const std::vector<std::int16_t>& samples, double from, double to) {
  const auto first = static_cast<std::size_t>(from * kRate);
  const auto last = std::min(samples.size(), static_cast<std::size_t>(to * kRate));
  double sum = 0.0;
  for (std::size_t i = first; i < last; ++i) sum += static_cast<double>(samples[i]) * samples[i];
  return 10.0 * std::log10(sum / static_cast<double>(last - first) / (32768.0 * 32768.0) + 1e-12);
}

struct Room {
  const char* name;
  double humDb;         // a steady 100 Hz hum under everything; below -100: none
  double speechFrom;    // seconds; below 0: nobody speaks
  int syllables;        // of 150 ms with 100 ms between them, at -15 dBFS
};

// A hum throughout and, from `speechFrom`, syllables of a voice well above it.
std::vector<std::int16_t> heard(const Room& room, double seconds) {
  std::vector<std::int16_t> samples(static_cast<std::size_t>(seconds * kRate));
  const double hum = std::pow(10.0, room.humDb / 20.0) * std::sqrt(2.0) * 32767.0;
  const double voice = std::pow(10.0, -15.0 / 20.0) * std::sqrt(2.0) * 32767.0;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const double t = static_cast<double>(i) / kRate;
    double value = hum * std::sin(2 * std::numbers::pi * 100.0 * t);
    const double intoSpeech = t - room.speechFrom;
    if (room.speechFrom >= 0 && intoSpeech >= 0 && intoSpeech < room.syllables * 0.25 &&
        std::fmod(intoSpeech, 0.25) < 0.15) {
      value += voice * std::sin(2 * std::numbers::pi * 180.0 * t) * 0.7 + voice * std::sin(2 * std::numbers::pi * 540.0 * t) * 0.3;
    }
    samples[i] = static_cast<std::int16_t>(std::lround(std::clamp(value, -32768.0, 32767.0)));
  }
  return samples;
}

// Every sample comes out, in order; the room around the voice is quieted by
// about 30 dB and the voice is untouched, from its first sample (even when
// it begins as the input does) to its last; with nobody speaking, nothing is
// speech. Fed in pieces of odd sizes, as audio comes.
TEST(BackgroundGateTest, QuietsTheRoomAroundTheVoiceAndNothingElse) {
  const std::vector<Room> rooms = {
      {"hum, then a voice", -40.0, 1.0, 6},
      {"a voice at once, in a quiet room", -200.0, 0.05, 6},
      {"a voice as the input starts, over a hum", -40.0, 0.0, 6},
      {"a hum and nobody", -40.0, -1.0, 0},
  };
  constexpr double kSeconds = 3.5;
  for (const Room& room : rooms) {
    const std::vector<std::int16_t> in = heard(room, kSeconds);
    BackgroundGate gate(kRate);
    std::vector<std::int16_t> out;
    for (std::size_t at = 0; at < in.size(); at += 337) {
      gate.process(std::span(in).subspan(at, std::min<std::size_t>(337, in.size() - at)), out);
    }
    gate.flush(out);
    ASSERT_EQ(out.size(), in.size()) << room.name;
    if (room.speechFrom < 0) {
      EXPECT_EQ(gate.speechFrames(), 0u) << room.name;
      EXPECT_NEAR(rmsDb(out, 0.5, kSeconds) - rmsDb(in, 0.5, kSeconds), BackgroundGate::kQuietedDb, 1.0) << room.name;
      continue;
    }
    const double speechTo = room.speechFrom + room.syllables * 0.25 - 0.1;
    const auto first = static_cast<std::size_t>(room.speechFrom * kRate);
    const auto last = static_cast<std::size_t>(speechTo * kRate);
    EXPECT_TRUE(std::equal(in.begin() + first, in.begin() + last, out.begin() + first)) << room.name;
    EXPECT_GT(gate.speechFrames(), 0u) << room.name;
    if (room.speechFrom >= 1.0) {
      // The input's start is kept, as speech might be.
      const double from = BackgroundGate::kAfterSeconds + 0.05;
      EXPECT_NEAR(rmsDb(out, from, room.speechFrom - 0.3) - rmsDb(in, from, room.speechFrom - 0.3),
                  BackgroundGate::kQuietedDb, 1.0) << room.name;
    }
    const double after = speechTo + BackgroundGate::kAfterSeconds + BackgroundGate::kOnsetWindow * BackgroundGate::kFrameSeconds;
    if (room.humDb > -100) {
      EXPECT_NEAR(rmsDb(out, after, kSeconds) - rmsDb(in, after, kSeconds), BackgroundGate::kQuietedDb, 1.0)
          << room.name;
    }
  }
}

}  // namespace
}  // namespace speech_bridge
