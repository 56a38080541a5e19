// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace speech_bridge {

// What one read of an audio source gave: samples, the end, or an error.
struct AudioRead {
  std::size_t samples = 0;           // 0 without error: the audio has ended
  std::optional<std::string> error;  // one readable sentence; the audio is unusable
};

// Where a decoding task's audio comes from: 16-bit mono samples at the
// model's rate, pulled by the task's thread. The decoding machinery knows
// nothing else about the audio, so a file and live capture are two sources.
class AudioSource {
 public:
  virtual ~AudioSource() = default;

  // Called once on the task's thread, before the model is loaded and before
  // the first read. Nothing, or one readable sentence saying why this audio
  // cannot be had.
  virtual std::optional<std::string> open(int sampleRate) = 0;

  // Task's thread: fills the start of `out`, blocking until at least one
  // sample is there or the audio has ended.
  virtual AudioRead read(std::span<std::int16_t> out) = 0;

  // Task's thread, before the first read: blocks until there is audio to
  // read or the audio has ended. False when it ended without any, so that
  // nothing will be read. A source that cannot tell answers true at once.
  virtual bool waitForAudio() { return true; }

  // Any thread: the audio has ended and none of what was received holds
  // speech, so decoding it could only give the empty text. A source that
  // cannot tell answers false.
  virtual bool endedWithoutSpeech() const { return false; }

  // Any thread: no audio beyond what the source has already received; a
  // blocked read wakes, and reads drain what is left and then report the end.
  // Harmless when repeated.
  virtual void endInput() = 0;
};

}  // namespace speech_bridge
