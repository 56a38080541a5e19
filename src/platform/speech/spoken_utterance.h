// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <future>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/speech/speech_engine.h"
#include "platform/speech_synthesis.h"

namespace speech_bridge {

class AudioOutput;
class AudioPlayback;

// One utterance on its way from a speech engine to the output device.
// Shared by the main thread (which may stop it), the engine's thread (which
// speaks it) and, through the playback, the audio thread.
class SpokenUtterance final : public SpeechOutput {
 public:
  // `output` outlives the utterance.
  SpokenUtterance(std::shared_ptr<const SpeechUtterance> utterance, AudioOutput& output);
  ~SpokenUtterance() override;

  const SpeechUtterance& utterance() const { return *utterance_; }

  // Any thread: silences the output at once.
  void stop();
  // Any thread: lets the word being heard end, then stops. Before any sound,
  // at once.
  void stopAfterWord();
  bool stopped() const override { return stopRequested_.load(std::memory_order_acquire); }

  // The engine's thread, as SpeechOutput says, then finish().
  bool open(int sampleRate) override;
  bool write(const std::int16_t* samples, std::size_t count) override;
  void wordStartsAt(std::size_t sample) override;
  // Plays out what was written when the engine `synthesized` everything and
  // nobody stopped it (otherwise silences the output), waits for the device
  // and closes it. True once every sample has been heard.
  bool finish(bool synthesized);

  // The engine's thread lets go of the utterance; after this only the main
  // thread holds it.
  void release() { releasedPromise_.set_value(); }
  void waitUntilReleased() { released_.wait(); }

 private:
  const std::shared_ptr<const SpeechUtterance> utterance_;
  AudioOutput& output_;
  std::atomic<bool> stopRequested_{false};
  std::mutex mutex_;
  std::unique_ptr<AudioPlayback> playback_;  // from open() to finish()
  std::vector<std::size_t> wordStarts_;          // in samples, ascending
  std::size_t samplesWritten_ = 0;
  bool synthesisEnded_ = false;
  bool stopAtNextWord_ = false;
  std::promise<void> releasedPromise_;
  std::future<void> released_;
};

}  // namespace speech_bridge
