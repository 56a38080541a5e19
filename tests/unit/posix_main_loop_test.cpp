// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/posix_main_loop.h"

#include <gtest/gtest.h>

#include <ctime>
#include <thread>

namespace speech_bridge {
namespace {

double processCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

TEST(PosixMainLoop, RunsPostsFromAnyThreadInPostingOrder) {
  PosixMainLoop loop;
  std::vector<int> order;
  std::thread poster([&] {
    for (int i = 0; i < 1000; ++i) loop.post([&order, i] { order.push_back(i); });
  });
  poster.join();
  loop.runSlice(loop.now() + 0.05, nullptr);
  ASSERT_EQ(order.size(), 1000u);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(order[i], i);
}

TEST(PosixMainLoop, TimersRunWhenDueInDueOrder) {
  PosixMainLoop loop;
  std::vector<int> order;
  const double start = loop.now();
  double firstRanAt = 0;
  loop.postAfter(0.03, [&] { order.push_back(2); });
  loop.postAfter(0.01, [&] {
    firstRanAt = loop.now();
    order.push_back(1);
  });
  loop.postAfter(0.03, [&] { order.push_back(3); });
  loop.postAfter(5.0, [&] { order.push_back(99); });
  loop.runSlice(start + 0.1, nullptr);
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
  EXPECT_GE(firstRanAt - start, 0.01);
}

TEST(PosixMainLoop, SliceWaitsWithoutSpinningAndReturnsAtItsEnd) {
  PosixMainLoop loop;
  const double cpuBefore = processCpuSeconds();
  const double start = loop.now();
  loop.runSlice(start + 0.2, nullptr);
  const double elapsed = loop.now() - start;
  EXPECT_GE(elapsed, 0.2);
  EXPECT_LT(elapsed, 0.3);
  EXPECT_LT(processCpuSeconds() - cpuBefore, 0.02);
}

TEST(PosixMainLoop, SliceReturnsOnceFinished) {
  PosixMainLoop loop;
  bool finished = false;
  bool ranAfter = false;
  loop.post([&] { finished = true; });
  loop.post([&] { ranAfter = true; });
  const double start = loop.now();
  loop.runSlice(start + 1.0, [&] { return finished; });
  EXPECT_LT(loop.now() - start, 0.1);
  EXPECT_FALSE(ranAfter);
}

TEST(PosixMainLoop, APostFromAnotherThreadWakesTheSlice) {
  PosixMainLoop loop;
  bool ran = false;
  double ranAt = 0;
  const double start = loop.now();
  std::thread poster([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    loop.post([&] {
      ran = true;
      ranAt = loop.now();
    });
  });
  loop.runSlice(start + 0.5, [&] { return ran; });
  poster.join();
  EXPECT_TRUE(ran);
  EXPECT_LT(ranAt - start, 0.3) << "an unwoken slice would have run it only at its end, 0.5 s";
}

}  // namespace
}  // namespace speech_bridge
