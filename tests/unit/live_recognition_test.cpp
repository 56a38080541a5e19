// SPDX-License-Identifier: GPL-3.0-or-later
// Live requests on the real recognition service. Needs the pocketsphinx-en-us
// model and the pocketsphinx-testdata recordings.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/pocketsphinx/pocketsphinx_recognition_service.h"
#include "unit/recording_fixtures.h"

namespace speech_bridge {
namespace {

using namespace std::chrono_literals;

// What a task answered, collected from its thread.
class Results {
 public:
  RecognitionResultHandler handler() {
    return [this](std::optional<RecognitionResult> result, std::optional<RecognitionError> error) {
      std::lock_guard lock(mutex_);
      if (error) errors_.push_back(error->localizedDescription);
      if (result && result->isFinal) final_ = result->formattedString;
      if (result && !result->isFinal) interims_.push_back(result->formattedString);
      changed_.notify_all();
    };
  }

  bool waitForFinal(std::chrono::seconds timeout = 30s) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return final_.has_value() || !errors_.empty(); });
  }

  std::optional<std::string> final() {
    std::lock_guard lock(mutex_);
    return final_;
  }
  std::vector<std::string> interims() {
    std::lock_guard lock(mutex_);
    return interims_;
  }
  std::vector<std::string> errors() {
    std::lock_guard lock(mutex_);
    return errors_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::optional<std::string> final_;
  std::vector<std::string> interims_;
  std::vector<std::string> errors_;
};

// "go forward ten meters" as a 48 kHz stereo microphone would deliver it.
std::vector<float> goForwardAt48kStereo() {
  const std::vector<std::int16_t> samples = fixtures::goForwardSamples();
  std::vector<float> captured;
  captured.reserve(samples.size() * 6);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const float here = samples[i] / 32768.0f;
    const float next = (i + 1 < samples.size() ? samples[i + 1] : 0) / 32768.0f;
    for (int step = 0; step < 3; ++step) {
      const float value = here + (next - here) * static_cast<float>(step) / 3.0f;
      captured.insert(captured.end(), {value, value});
    }
  }
  return captured;
}

class LiveRecognitionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    request = service.makeAudioBufferRequest();
    ASSERT_TRUE(request);
    request->setShouldReportPartialResults(true);
    task = service.recognizerForLocale("en-US")->recognitionTask(request, results.handler());
  }

  // Appends on a thread of its own, in 1024-frame buffers, as capture does.
  void appendFromCaptureThread(const std::vector<float>& stereo) {
    std::thread capture([&] {
      for (std::size_t at = 0; at < stereo.size(); at += 2048) {
        const auto frames = static_cast<std::uint32_t>(std::min<std::size_t>(2048, stereo.size() - at) / 2);
        request->appendAudioPcmBuffer(AudioPcmBuffer{stereo.data() + at, frames, {48000.0, 2}});
      }
    });
    capture.join();
  }

  PocketsphinxRecognitionService service;
  Results results;
  std::shared_ptr<AudioBufferRecognitionRequest> request;
  std::shared_ptr<RecognitionTask> task;
};

// The whole recording arrives while the model is still loading: none of it is lost.
TEST_F(LiveRecognitionTest, AudioCapturedWhileTheModelLoadsIsRecognised) {
  appendFromCaptureThread(goForwardAt48kStereo());
  request->endAudio();
  ASSERT_TRUE(results.waitForFinal());
  EXPECT_EQ(results.errors(), std::vector<std::string>{});
  EXPECT_EQ(results.final(), "go forward ten meters");
  EXPECT_FALSE(results.interims().empty()) << "interim texts come as the audio is decoded";
}

TEST_F(LiveRecognitionTest, FinishGivesTheFinalTextOfWhatWasAppended) {
  appendFromCaptureThread(goForwardAt48kStereo());
  task->finish();
  ASSERT_TRUE(results.waitForFinal());
  EXPECT_EQ(results.final(), "go forward ten meters");
}

TEST_F(LiveRecognitionTest, NoAudioGivesAnEmptyFinalText) {
  request->endAudio();
  ASSERT_TRUE(results.waitForFinal());
  EXPECT_EQ(results.final(), "");
}

// Appends keep coming while the main thread ends the audio, cancels the task
// and lets it go: nothing breaks (run under the sanitizers too).
TEST_F(LiveRecognitionTest, AppendsRaceSafelyWithEndAndCancel) {
  std::atomic<bool> capturing{true};
  std::thread capture([&] {
    // Loud enough to be speech: the end waits for the model, and the cancel comes first.
    const std::vector<float> buffer(2048, 0.1f);
    while (capturing.load()) request->appendAudioPcmBuffer(AudioPcmBuffer{buffer.data(), 1024, {48000.0, 2}});
  });
  std::this_thread::sleep_for(50ms);
  request->endAudio();
  std::this_thread::sleep_for(10ms);
  task->cancel();
  task.reset();  // joins the decoder thread while appends go on
  std::this_thread::sleep_for(10ms);
  capturing = false;
  capture.join();
  EXPECT_FALSE(results.final().has_value()) << "nothing is reported once cancelled";
}

// A sink that counts what reaches it.
struct CountingSink final : AudioBufferSink {
  void append(const AudioPcmBuffer& buffer) override { frames += buffer.frameLength; }
  void endAudio() override { ++ends; }
  std::uint32_t frames = 0;
  int ends = 0;
};

// The request hands its buffers to the task's sink only once connected, and
// an end that came first reaches the sink when it connects.
TEST(AudioBufferRequest, BuffersReachTheConnectedSinkOnly) {
  const std::vector<float> samples(512, 0.5f);
  const AudioPcmBuffer buffer{samples.data(), 512, {16000.0, 1}};
  for (const bool endedFirst : {false, true}) {
    AudioBufferRecognitionRequest request;
    const auto sink = std::make_shared<CountingSink>();
    request.appendAudioPcmBuffer(buffer);  // no task yet: ignored
    if (endedFirst) request.endAudio();
    request.connect(sink);
    request.connect(std::make_shared<CountingSink>());  // only the first counts
    request.appendAudioPcmBuffer(buffer);
    request.endAudio();
    EXPECT_EQ(sink->frames, endedFirst ? 0u : 512u);
    EXPECT_EQ(sink->ends, endedFirst ? 2 : 1) << endedFirst;
  }
}

}  // namespace
}  // namespace speech_bridge
