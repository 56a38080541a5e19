// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/audio/sample_ring.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace speech_bridge {
namespace {

TEST(SampleRing, KeepsOrderAcrossTheEndOfTheRing) {
  SampleRing<float> queue(5);
  const float first[] = {1, 2, 3, 4};
  EXPECT_TRUE(queue.pushAll(first, 4));
  float out[8] = {};
  EXPECT_EQ(queue.pop(out, 3), 3u);
  const float second[] = {5, 6, 7};
  EXPECT_TRUE(queue.pushAll(second, 3));
  EXPECT_EQ(queue.pop(out, 8), 4u);
  EXPECT_EQ(std::vector<float>(out, out + 4), (std::vector<float>{4, 5, 6, 7}));
  EXPECT_EQ(queue.pushed(), 7u);
}

TEST(SampleRing, DropsAndCountsABufferThatDoesNotFit) {
  SampleRing<float> queue(5);
  const float samples[] = {1, 2, 3, 4, 5, 6};
  EXPECT_TRUE(queue.pushAll(samples, 3));
  EXPECT_FALSE(queue.pushAll(samples + 3, 3)) << "a buffer is never cut, so frames stay whole";
  EXPECT_EQ(queue.dropped(), 3u);
  EXPECT_TRUE(queue.pushAll(samples + 3, 2));
  float out[6] = {};
  EXPECT_EQ(queue.pop(out, 6), 5u);
  EXPECT_EQ(std::vector<float>(out, out + 5), (std::vector<float>{1, 2, 3, 4, 5}));
  EXPECT_EQ(queue.push(samples, 6), 5u) << "a plain push takes what fits";
  EXPECT_EQ(queue.size(), 5u);
}

// Run under ThreadSanitizer too: one thread pushes while another pops.
TEST(SampleRing, HandsEverySampleOverBetweenTwoThreads) {
  SampleRing<float> queue(1000);
  constexpr int kSamples = 200000;
  std::thread producer([&] {
    std::vector<float> block(97);
    for (int next = 0; next < kSamples;) {
      const int count = std::min<int>(97, kSamples - next);
      for (int i = 0; i < count; ++i) block[i] = static_cast<float>(next + i);
      if (queue.pushAll(block.data(), count)) next += count;
      std::this_thread::yield();
    }
  });
  std::vector<float> received;
  float out[256];
  while (received.size() < kSamples) {
    const std::size_t got = queue.pop(out, 256);
    received.insert(received.end(), out, out + got);
    if (got == 0) std::this_thread::yield();
  }
  producer.join();
  for (int i = 0; i < kSamples; ++i) ASSERT_EQ(received[i], static_cast<float>(i));
}

}  // namespace
}  // namespace speech_bridge
