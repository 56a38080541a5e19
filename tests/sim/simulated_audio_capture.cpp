// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/simulated_audio_capture.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "sim/simulated_main_loop.h"

namespace speech_bridge::sim {

class SimulatedAudioEngine final : public AudioEngine, public AudioInputNode,
                                   public std::enable_shared_from_this<SimulatedAudioEngine> {
 public:
  explicit SimulatedAudioEngine(SimulatedAudioCapture& capture) : capture_(capture) {}

  AudioInputNode& inputNode() override { return *this; }

  AudioFormat outputFormatForBus(int bus) override {
    capture_.calls_.record("outputFormatForBus " + std::to_string(bus));
    return capture_.inputFormat;
  }

  void installTapOnBus(int bus, std::uint32_t bufferSize, AudioFormat format, AudioTapBlock block) override {
    capture_.calls_.record("installTapOnBus " + std::to_string(bus) + " " + std::to_string(bufferSize));
    if (tap_) ADD_FAILURE() << "a second tap was installed on the input node";
    capture_.requestedFormatRate = format.sampleRate;
    capture_.requestedFormatChannels = format.channelCount;
    tap_ = std::move(block);
  }

  void removeTapOnBus(int bus) override {
    capture_.calls_.record("removeTapOnBus " + std::to_string(bus));
    tap_ = nullptr;
  }

  void prepare() override { capture_.calls_.record("prepare"); }

  std::optional<std::string> startAndReturnError() override {
    capture_.calls_.record("start");
    if (capture_.startError) return capture_.startError;
    if (running_) ADD_FAILURE() << "the engine was started twice";
    if (stopped_) ADD_FAILURE() << "the engine was started again after stop";
    running_ = true;
    const double startedAt = capture_.loop_.now();
    std::weak_ptr<SimulatedAudioEngine> weakEngine = weak_from_this();
    for (std::size_t i = 0; i < capture_.buffers.size(); ++i) {
      capture_.loop_.schedulePlatformEvent(startedAt + capture_.buffers[i].secondsAfterStart,
                                           [weakEngine, i] {
                                             if (const auto engine = weakEngine.lock()) engine->deliver(i);
                                           });
    }
    return std::nullopt;
  }

  void stop() override {
    capture_.calls_.record("stop");
    running_ = false;
    stopped_ = true;
  }

 private:
  // The capture thread's hand-over, played on the main thread at its time.
  void deliver(std::size_t index) {
    if (!running_ || !tap_) {
      ++capture_.buffersDropped;
      return;
    }
    const auto& samples = capture_.buffers[index].samples;
    const AudioFormat format = capture_.inputFormat;
    const AudioPcmBuffer buffer{samples.data(), static_cast<std::uint32_t>(samples.size() / std::max(format.channelCount, 1u)),
                                format};
    ++capture_.buffersDelivered;
    tap_(buffer);
  }

  SimulatedAudioCapture& capture_;
  AudioTapBlock tap_;
  bool running_ = false;
  bool stopped_ = false;
};

void SimulatedAudioCapture::captureBuffers(int count, std::uint32_t frames, float level) {
  const double interval = frames / inputFormat.sampleRate;
  const double first = buffers.empty() ? 0.0 : buffers.back().secondsAfterStart;
  for (int i = 1; i <= count; ++i) {
    buffers.push_back({first + i * interval, std::vector<float>(frames * inputFormat.channelCount, level)});
  }
}

std::shared_ptr<AudioEngine> SimulatedAudioCapture::makeEngine(const CaptureRequest& request) {
  calls_.record("makeEngine");
  lastRequest = request;
  if (++enginesMade_ > 1) ADD_FAILURE() << "a job made a second audio engine";
  return std::make_shared<SimulatedAudioEngine>(*this);
}

}  // namespace speech_bridge::sim
