// SPDX-License-Identifier: GPL-3.0-or-later
// How the echo cancelling filter between a backend's two streams keeps the
// microphone going whatever the reference does. (Whether a job asks for
// cancelling is the end-to-end echo cancel test's.)
#include <gtest/gtest.h>

#include <numeric>

#include "platform/audio/echo_cancelling_filter.h"

namespace speech_bridge {
namespace {

// A canceller that marks each frame it cancels: it adds 100 to each sample
// and counts the references it was given.
class MarkingCanceller final : public EchoCanceller {
 public:
  explicit MarkingCanceller(int& references) : references_(references) {}
  std::size_t frameLength() const override { return 4; }
  void addReference(const float*) override { ++references_; }
  void cancel(float* frame, int delayHint) override {
    for (std::size_t i = 0; i < 4; ++i) frame[i] += 100.0f;
    lastHint = delayHint;
  }
  int lastHint = -1;

 private:
  int& references_;
};

class EchoCancellingFilterTest : public ::testing::Test {
 protected:
  EchoCancellingFilterTest() {
    auto canceller = std::make_unique<MarkingCanceller>(references);
    marking = canceller.get();
    filter.emplace(std::move(canceller));
  }

  // Feeds `count` microphone samples numbered on from the last; returns
  // whether each delivered one was cancelled, and checks that every sample
  // comes out once, in order.
  std::vector<bool> microphone(std::size_t count) {
    std::vector<float> samples(count);
    std::iota(samples.begin(), samples.end(), static_cast<float>(fed));
    fed += count;
    std::vector<bool> cancelled;
    filter->filterMicrophone(samples.data(), count, [&](const float* out, std::uint32_t frames) {
      for (std::uint32_t i = 0; i < frames; ++i) {
        const bool marked = out[i] >= 100.0f + static_cast<float>(delivered);
        EXPECT_FLOAT_EQ(out[i] - (marked ? 100.0f : 0.0f), static_cast<float>(delivered)) << "sample " << delivered;
        cancelled.push_back(marked);
        ++delivered;
      }
    });
    return cancelled;
  }
  void reference(std::size_t count) {
    const std::vector<float> samples(count, 0.5f);
    filter->addReference(samples.data(), count);
  }

  int references = 0;
  MarkingCanceller* marking = nullptr;
  std::optional<EchoCancellingFilter> filter;
  std::size_t fed = 0;
  std::size_t delivered = 0;
};

// Before any reference the microphone goes on as it is; frames are whole
// 10 ms pieces, an incomplete one waits for the rest of its samples only.
TEST_F(EchoCancellingFilterTest, WithoutAReferenceTheMicrophoneGoesOnAsItIs) {
  EXPECT_EQ(microphone(3), std::vector<bool>{});
  EXPECT_EQ(microphone(6), std::vector<bool>(8, false));
  EXPECT_EQ(delivered, 8u);
  EXPECT_EQ(filter->uncancelledFrames(), 2u);
  EXPECT_EQ(references, 0);
}

// Frames are cancelled while the reference keeps up, with the delay hint
// given; a reference that stops (late, failed, gone) leaves the microphone
// uncancelled after kLateReferenceFrames, and cancelling resumes with it.
TEST_F(EchoCancellingFilterTest, CancelsWhileTheReferenceKeepsUpAndNotOnceItIsLate) {
  filter->setDelayHint(35);
  reference(6);  // one whole frame, and half of the next
  EXPECT_EQ(references, 1);
  const std::size_t late = EchoCancellingFilter::kLateReferenceFrames;
  const std::vector<bool> heard = microphone(4 * (late + 3));
  std::vector<bool> expected(4 * (late + 1), true);
  expected.resize(4 * (late + 3), false);
  EXPECT_EQ(heard, expected);
  EXPECT_EQ(marking->lastHint, 35);
  reference(2);  // completes the half frame: the reference is back
  EXPECT_EQ(references, 2);
  EXPECT_EQ(microphone(4), std::vector<bool>(4, true));
  EXPECT_EQ(delivered, fed);
}

}  // namespace
}  // namespace speech_bridge
