// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/webrtc/webrtc_echo_canceller.h"

#include <webrtc/modules/audio_processing/include/audio_processing.h>

#include <algorithm>
#include <vector>

namespace speech_bridge {
namespace {

class WebRtcEchoCanceller final : public EchoCanceller {
 public:
  WebRtcEchoCanceller(webrtc::AudioProcessing* processing, int sampleRate)
      : processing_(processing), stream_(sampleRate, 1, false), output_(stream_.num_frames()) {}

  std::size_t frameLength() const override { return stream_.num_frames(); }

  void addReference(const float* frame) override {
    const float* input[] = {frame};
    float* output[] = {output_.data()};
    processing_->ProcessReverseStream(input, stream_, stream_, output);
  }

  void cancel(float* frame, int delayHintMilliseconds) override {
    processing_->set_stream_delay_ms(std::clamp(delayHintMilliseconds, 0, 500));
    const float* input[] = {frame};
    float* output[] = {output_.data()};
    if (processing_->ProcessStream(input, stream_, stream_, output) != webrtc::AudioProcessing::kNoError) return;
    std::copy(output_.begin(), output_.end(), frame);
  }

 private:
  std::unique_ptr<webrtc::AudioProcessing> processing_;
  webrtc::StreamConfig stream_;
  std::vector<float> output_;
};

}  // namespace

std::unique_ptr<EchoCanceller> makeWebRtcEchoCanceller(int sampleRate) {
  if (sampleRate < 8000 || sampleRate > 192000) return nullptr;
  webrtc::Config config;
  config.Set<webrtc::ExtendedFilter>(new webrtc::ExtendedFilter(true));
  config.Set<webrtc::DelayAgnostic>(new webrtc::DelayAgnostic(true));
  webrtc::AudioProcessing* processing = webrtc::AudioProcessing::Create(config);
  if (!processing) return nullptr;
  const webrtc::StreamConfig stream(sampleRate, 1, false);
  webrtc::ProcessingConfig streams;
  streams.input_stream() = streams.output_stream() = stream;
  streams.reverse_input_stream() = streams.reverse_output_stream() = stream;
  if (processing->Initialize(streams) != webrtc::AudioProcessing::kNoError ||
      processing->echo_cancellation()->enable_drift_compensation(false) != webrtc::AudioProcessing::kNoError ||
      processing->echo_cancellation()->Enable(true) != webrtc::AudioProcessing::kNoError) {
    delete processing;
    return nullptr;
  }
  // The least suppression of what is left: more takes the player's words
  // with the music where both sound at once, and the recognizer refuses them.
  processing->echo_cancellation()->set_suppression_level(webrtc::EchoCancellation::kLowSuppression);
  processing->noise_suppression()->Enable(false);
  processing->gain_control()->Enable(false);
  processing->high_pass_filter()->Enable(false);
  return std::make_unique<WebRtcEchoCanceller>(processing, sampleRate);
}

}  // namespace speech_bridge
