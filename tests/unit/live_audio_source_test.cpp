// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pocketsphinx/live_audio_source.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

namespace speech_bridge {
namespace {

AudioPcmBuffer bufferOf(const std::vector<float>& samples, double rate, std::uint32_t channels) {
  return AudioPcmBuffer{samples.data(), static_cast<std::uint32_t>(samples.size() / channels), {rate, channels}};
}

// Reads until the source reports its end.
std::vector<std::int16_t> readAll(LiveAudioSource& source) {
  std::vector<std::int16_t> all;
  std::vector<std::int16_t> block(800);
  for (;;) {
    const AudioRead got = source.read(block);
    EXPECT_FALSE(got.error) << *got.error;
    if (got.samples == 0) return all;
    all.insert(all.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(got.samples));
  }
}

TEST(LiveAudioSource, ResamplesCaptureToTheModelRate) {
  LiveAudioSource source;
  ASSERT_FALSE(source.open(16000));
  std::vector<float> buffer(1024);
  for (int start = 0; start < 48 * 1024; start += 1024) {
    for (int i = 0; i < 1024; ++i) buffer[i] = 0.5f * std::sin(2 * M_PI * 440 * (start + i) / 48000.0);
    source.append(bufferOf(buffer, 48000, 1));
  }
  source.endInput();
  const std::vector<std::int16_t> read = readAll(source);
  EXPECT_NEAR(static_cast<double>(read.size()), 16384.0, 2.0) << "48 buffers of 1024 frames, at a third of the rate";
  std::int16_t loudest = 0;
  for (const std::int16_t sample : read) loudest = std::max<std::int16_t>(loudest, sample);
  EXPECT_NEAR(loudest, 16384, 400);
}

TEST(LiveAudioSource, MixesChannelsToMono) {
  LiveAudioSource source;
  ASSERT_FALSE(source.open(16000));
  std::vector<float> stereo;
  for (int i = 0; i < 1024; ++i) stereo.insert(stereo.end(), {0.25f, 0.75f});
  source.append(bufferOf(stereo, 16000, 2));
  source.endInput();
  EXPECT_EQ(readAll(source), std::vector<std::int16_t>(1024, 16384));
}

TEST(LiveAudioSource, KeepsWhatIsCapturedBeforeTheFirstRead) {
  LiveAudioSource source;
  const std::vector<float> buffer(1024, 0.5f);
  for (int i = 0; i < 100; ++i) source.append(bufferOf(buffer, 16000, 1));  // 6.4 s, as if the model were loading
  ASSERT_FALSE(source.open(16000));
  source.endInput();
  EXPECT_EQ(readAll(source).size(), 102400u);
  EXPECT_EQ(source.droppedSamples(), 0u);
}

TEST(LiveAudioSource, IgnoresAudioAfterTheEnd) {
  LiveAudioSource source;
  ASSERT_FALSE(source.open(16000));
  const std::vector<float> buffer(1024, 0.5f);
  source.append(bufferOf(buffer, 16000, 1));
  source.endInput();
  source.append(bufferOf(buffer, 16000, 1));
  source.endInput();
  EXPECT_EQ(readAll(source).size(), 1024u);
}

TEST(LiveAudioSource, EndingWithoutAudioEndsTheRead) {
  LiveAudioSource source;
  ASSERT_FALSE(source.open(16000));
  source.endInput();
  EXPECT_EQ(readAll(source), std::vector<std::int16_t>{});
}

// The task's thread waits for the first audio while the model loads; an end
// without audio wakes it with nothing to decode.
TEST(LiveAudioSource, WaitForAudioSaysWhetherAnyCameBeforeTheEnd) {
  LiveAudioSource silent;
  ASSERT_FALSE(silent.open(16000));
  std::thread ending([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    silent.endInput();
  });
  EXPECT_FALSE(silent.waitForAudio());
  ending.join();

  LiveAudioSource heard;
  ASSERT_FALSE(heard.open(16000));
  const std::vector<float> buffer(1024, 0.5f);
  std::thread capture([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    heard.append(bufferOf(buffer, 16000, 1));
  });
  EXPECT_TRUE(heard.waitForAudio());
  capture.join();
  heard.endInput();
  EXPECT_TRUE(heard.waitForAudio()) << "what came before the end is still to be read";
  EXPECT_EQ(readAll(heard).size(), 1024u);
}

TEST(LiveAudioSource, RefusesARateItCannotConvert) {
  LiveAudioSource source;
  ASSERT_FALSE(source.open(16000));
  const std::vector<float> buffer(16, 0.5f);
  source.append(bufferOf(buffer, 10.0, 1));
  std::vector<std::int16_t> block(800);
  const AudioRead got = source.read(block);
  ASSERT_TRUE(got.error);
  EXPECT_EQ(*got.error, "The microphone's audio at 10 Hz cannot be converted to 16000 Hz: the rates are too far apart");
}

// The capture thread appends while the task's thread waits in read() and the
// main thread ends the input: every sample appended before the end arrives.
// Run under ThreadSanitizer too.
TEST(LiveAudioSource, ReadsWaitForCaptureAndTheEndWakesThem) {
  LiveAudioSource source;
  ASSERT_FALSE(source.open(16000));
  std::atomic<int> appended{0};
  std::vector<std::int16_t> read;
  std::thread task([&] { read = readAll(source); });
  std::thread capture([&] {
    const std::vector<float> buffer(1024, 0.25f);
    for (int i = 0; i < 200; ++i) {
      source.append(bufferOf(buffer, 16000, 1));
      appended.fetch_add(1);
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });
  while (appended.load() < 100) std::this_thread::yield();
  source.endInput();
  const int before = appended.load();
  capture.join();
  task.join();
  EXPECT_GE(read.size(), static_cast<std::size_t>(before - 1) * 1024);
  EXPECT_LE(read.size(), static_cast<std::size_t>(before + 1) * 1024);
  EXPECT_EQ(read.size() % 1024, 0u);
  for (const std::int16_t sample : read) ASSERT_EQ(sample, 8192);
}

// Speech is what stays loud for kSpeechSeconds; the stop's answer without
// the model depends on it, and only once the input has ended.
TEST(LiveAudioSource, EndsWithoutSpeechUnlessEnoughOfItWasLoud) {
  struct Case {
    const char* what;
    float amplitude;
    int loudBuffers;  // the first of 50 buffers of 10 ms at 48 kHz; the others silent
    bool ended;
    bool withoutSpeech;
  };
  for (const Case& c : {Case{"silence", 0.0f, 0, true, true}, Case{"a quiet room", 0.005f, 50, true, true},
                        Case{"a click", 0.5f, 2, true, true}, Case{"a word", 0.1f, 10, true, false},
                        Case{"still listening", 0.0f, 0, false, false}}) {
    SCOPED_TRACE(c.what);
    LiveAudioSource source;
    ASSERT_FALSE(source.open(16000));
    std::vector<float> quiet(480, 0.0f), loud(480);
    for (std::size_t i = 0; i < loud.size(); ++i) loud[i] = c.amplitude * std::sin(2 * M_PI * 200 * i / 48000.0);
    for (int i = 0; i < 50; ++i) source.append(bufferOf(i < c.loudBuffers ? loud : quiet, 48000, 1));
    if (c.ended) source.endInput();
    EXPECT_EQ(source.endedWithoutSpeech(), c.withoutSpeech);
  }
}

}  // namespace
}  // namespace speech_bridge
