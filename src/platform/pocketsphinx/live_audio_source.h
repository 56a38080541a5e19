// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/audio/sample_ring.h"
#include "platform/audio_buffer.h"
#include "platform/pocketsphinx/audio_conversion.h"
#include "platform/pocketsphinx/audio_source.h"
#include "platform/pocketsphinx/speech_detector.h"
#include "platform/recognition_service.h"

namespace speech_bridge {

// Microphone audio as a decoding task's source, and the sink of the live
// request it recognises. The capture thread appends
// buffers as they come, without waiting or allocating; the task's thread
// mixes them to mono and resamples them to the model's rate as it reads.
// Audio that arrives while the model is still loading waits in the queue, so
// nothing said after capture starts is lost.
//
// Whether speech was heard is an energy test as buffers arrive: speech is
// kSpeechSeconds in all of buffers louder than kSpeechLevel (RMS, full scale
// 1), far above a quiet room's or an idle source's level.
class LiveAudioSource final : public AudioSource, public AudioBufferSink {
 public:
  static constexpr float kSpeechLevel = 0.01f;  // -40 dBFS
  static constexpr double kSpeechSeconds = 0.06;

  // 2^21 samples: 43 s of mono capture at 48 kHz, far more than listening
  // lasts or a model takes to load. Pages are only touched as audio comes.
  static constexpr std::size_t kQueueSamples = std::size_t{1} << 21;

  LiveAudioSource();

  // Before the first append: the request's handler, told what the speech
  // detector hears in what is appended. Without one nothing is detected.
  void reportSpeechActivity(SpeechActivityHandler handler) { activityHandler_ = std::move(handler); }

  // Capture thread. Ignored once the input has ended.
  void append(const AudioPcmBuffer& buffer) override;
  // The request's end of the audio: endInput().
  void endAudio() override { endInput(); }

  std::optional<std::string> open(int sampleRate) override;
  AudioRead read(std::span<std::int16_t> out) override;
  bool waitForAudio() override;
  // Everything appended before this call is still read; nothing after it.
  void endInput() override;
  bool endedWithoutSpeech() const override;

  std::uint64_t droppedSamples() const { return queue_.dropped(); }

 private:
  void wake();
  std::optional<std::string> convertAvailable(std::uint64_t available);

  SampleRing<float> queue_;
  // Set by the first append, before its samples are published.
  std::atomic<double> captureRate_{0.0};
  std::atomic<std::uint32_t> captureChannels_{0};
  std::atomic<bool> inputEnded_{false};
  std::atomic<std::uint64_t> endsAt_{UINT64_MAX};  // samples pushed when the input ended
  std::atomic<std::uint32_t> changes_{0};          // what a blocked read waits on
  double loudSeconds_ = 0.0;                       // the capture thread's own
  std::atomic<bool> speechHeard_{false};
  SpeechActivityHandler activityHandler_;  // the capture thread's once appends begin
  SpeechDetector detector_;                // the capture thread's own

  // The reading thread's own.
  int modelRate_ = 0;
  std::unique_ptr<MonoResampler> resampler_;
  std::vector<float> captured_;
  std::vector<float> mono_;
  std::vector<std::int16_t> pending_;  // converted, not yet read
  std::size_t pendingRead_ = 0;
  std::uint64_t consumed_ = 0;  // samples taken from the queue
  bool flushed_ = false;
};

}  // namespace speech_bridge
