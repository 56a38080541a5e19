// SPDX-License-Identifier: GPL-3.0-or-later
// The live request's speech detector on made-up sounds: voice-like bursts
// are speech, steady noise and hums are not, and silence follows speech.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>

#include "platform/pocketsphinx/speech_detector.h"

namespace speech_bridge {
namespace {

constexpr double kRate = 48000.0;
constexpr double kPi = 3.14159265358979;

using Sound = std::function<float(double t)>;

// A 150 Hz voice whose loudness rises and falls four times a second, as
// syllables do, at `level` full scale.
Sound syllables(float level) {
  return [level](double t) {
    const double envelope = std::max(0.0, std::sin(2 * kPi * 4 * t));
    return static_cast<float>(level * envelope * std::sin(2 * kPi * 150 * t));
  };
}
Sound hum(float level) {
  return [level](double t) { return static_cast<float>(level * std::sin(2 * kPi * 50 * t)); };
}
Sound noise(float level) {
  auto random = std::make_shared<std::mt19937>(7);
  return [level, random](double) {
    return std::uniform_real_distribution<float>(-level, level)(*random);
  };
}
Sound silence() {
  return [](double) { return 0.0f; };
}
Sound mixed(Sound a, Sound b) {
  return [a, b](double t) { return a(t) + b(t); };
}

struct Change {
  double at;  // seconds into the sound
  SpeechActivity activity;
};

// Feeds pieces of sound in 1024-frame stereo buffers, as capture does.
std::vector<Change> detect(const std::vector<std::pair<Sound, double>>& pieces) {
  SpeechDetector detector;
  std::vector<Change> changes;
  std::vector<float> buffer;
  double t = 0.0;
  for (const auto& [sound, seconds] : pieces) {
    const double end = t + seconds;
    while (t < end - 1e-9) {
      buffer.clear();
      for (int frame = 0; frame < 1024; ++frame, t += 1 / kRate) buffer.insert(buffer.end(), 2, sound(t));
      if (const auto change = detector.accept(buffer.data(), 1024, 2, kRate)) changes.push_back({t, *change});
    }
  }
  return changes;
}

TEST(SpeechDetector, NoSteadySoundIsSpeech) {
  for (const auto& [name, sound] : std::vector<std::pair<std::string, Sound>>{
           {"silence", silence()}, {"hum", hum(0.3f)}, {"noise", noise(0.2f)}, {"faint voice", syllables(0.005f)}}) {
    EXPECT_TRUE(detect({{silence(), 0.5}, {sound, 8.0}}).empty()) << name;
    EXPECT_TRUE(detect({{sound, 8.0}}).empty()) << name << " from the first buffer";
  }
}

// Speech begins within a syllable or two, and silence is reported once,
// `kPauseSeconds` after the voice ends, whatever steady sound is left.
TEST(SpeechDetector, SpeechThenSilenceOverAnyBackground) {
  for (const auto& [name, background] : std::vector<std::pair<std::string, Sound>>{
           {"silence", silence()}, {"hum", hum(0.05f)}, {"noise", noise(0.03f)}}) {
    const std::vector<Change> changes =
        detect({{background, 1.5}, {mixed(background, syllables(0.4f)), 1.4}, {background, 3.0}});
    ASSERT_EQ(changes.size(), 2u) << name;
    EXPECT_TRUE(changes[0].activity.speaking) << name;
    EXPECT_GT(changes[0].at, 1.5) << name;
    EXPECT_LT(changes[0].at, 1.5 + 0.3) << name;
    EXPECT_FALSE(changes[1].activity.speaking) << name;
    EXPECT_NEAR(changes[1].activity.silentSeconds, SpeechDetector::kPauseSeconds, 0.03) << name;
    // The last syllable fades out by 2.875 s.
    EXPECT_NEAR(changes[1].at - changes[1].activity.silentSeconds, 2.9, 0.1) << name;
  }
}

// Speech that resumes after a pause is speech again within two frames or so.
TEST(SpeechDetector, SpeechResumingAfterAPauseIsHeardAtOnce) {
  const std::vector<Change> changes = detect({{syllables(0.4f), 0.9}, {silence(), 0.9}, {syllables(0.4f), 1.0}});
  ASSERT_EQ(changes.size(), 3u);
  EXPECT_FALSE(changes[1].activity.speaking);
  EXPECT_TRUE(changes[2].activity.speaking);
  EXPECT_LT(changes[2].at, 1.8 + 0.1);
}

// The gaps between syllables (an eighth of a second) are no silence.
TEST(SpeechDetector, GapsBetweenSyllablesAreNoSilence) {
  const std::vector<Change> changes = detect({{syllables(0.4f), 4.0}});
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_TRUE(changes[0].activity.speaking);
}

}  // namespace
}  // namespace speech_bridge
