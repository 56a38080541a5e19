// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/speech/spoken_utterance.h"

#include <algorithm>

#include "platform/audio_output.h"

namespace speech_bridge {

SpokenUtterance::SpokenUtterance(std::shared_ptr<const SpeechUtterance> utterance, AudioOutput& output)
    : utterance_(std::move(utterance)), output_(output), released_(releasedPromise_.get_future()) {}

SpokenUtterance::~SpokenUtterance() = default;

void SpokenUtterance::stop() {
  stopRequested_.store(true, std::memory_order_release);
  std::lock_guard lock(mutex_);
  if (playback_) playback_->stop();
}

void SpokenUtterance::stopAfterWord() {
  std::unique_lock lock(mutex_);
  if (!playback_) {
    lock.unlock();
    stop();
    return;
  }
  const std::size_t played = playback_->samplesPlayed();
  const auto next = std::upper_bound(wordStarts_.begin(), wordStarts_.end(), played);
  if (next != wordStarts_.end()) {
    playback_->stopAfter(*next);
  } else if (synthesisEnded_) {
    playback_->stopAfter(samplesWritten_);  // the last word: to its end
  } else {
    stopAtNextWord_ = true;  // the next start is not synthesized yet
  }
}

bool SpokenUtterance::open(int sampleRate) {
  std::unique_ptr<AudioPlayback> playback = output_.openPlayback(sampleRate);
  if (!playback) return false;
  std::lock_guard lock(mutex_);
  if (stopped()) return false;
  playback_ = std::move(playback);
  return true;
}

bool SpokenUtterance::write(const std::int16_t* samples, std::size_t count) {
  {
    std::lock_guard lock(mutex_);
    samplesWritten_ += count;
  }
  // Only this thread sets or clears `playback_`: no lock needed to use it here,
  // and none may be held while the write waits for room.
  return !stopped() && playback_ && playback_->write(samples, count);
}

void SpokenUtterance::wordStartsAt(std::size_t sample) {
  std::lock_guard lock(mutex_);
  wordStarts_.push_back(sample);
  if (stopAtNextWord_ && playback_ && sample > playback_->samplesPlayed()) {
    playback_->stopAfter(sample);
    stopAtNextWord_ = false;
  }
}

bool SpokenUtterance::finish(bool synthesized) {
  {
    std::lock_guard lock(mutex_);
    synthesisEnded_ = true;
    if (stopAtNextWord_ && playback_) playback_->stopAfter(samplesWritten_);
  }
  if (!playback_) return false;
  if (synthesized && !stopped()) {
    playback_->finishWriting();
  } else {
    playback_->stop();
  }
  const AudioPlayback::Ending ending = playback_->waitUntilEnded();
  std::unique_ptr<AudioPlayback> closing;
  {
    std::lock_guard lock(mutex_);
    closing = std::move(playback_);
  }
  return ending == AudioPlayback::Ending::played;
}

}  // namespace speech_bridge
