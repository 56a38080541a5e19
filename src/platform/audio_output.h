// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace speech_bridge {

// Mono 16-bit audio played on an output device as it is produced.
//
// One producer thread writes the samples, says when there are no more, and
// waits for the end; any thread may stop the output at once. The device is
// let go when the object is destroyed, which must not happen on an audio or
// sound-server thread.
class AudioPlayback {
 public:
  enum class Ending {
    played,   // every sample written has been heard
    stopped,  // stop() or stopAfter() cut the output short
    failed,   // the device or the server failed, or output could not start
  };

  virtual ~AudioPlayback() = default;

  // Producer: queues the samples, waiting while the queue is full. Output
  // starts by itself once a little is queued. Returns false (dropping the
  // rest) once the playback has been stopped or has failed.
  virtual bool write(const std::int16_t* samples, std::size_t count) = 0;

  // Producer: no more samples will come; the playback ends once the queued
  // ones have been heard.
  virtual void finishWriting() = 0;

  // Producer: waits until the playback has ended, and says how.
  virtual Ending waitUntilEnded() = 0;

  // Any thread: silences the output at once (queued audio is dropped).
  // Harmless after the end.
  virtual void stop() = 0;

  // Any thread: the output ends, as stopped, once `sampleCount` samples in
  // all have been played (at once if that many already have); the producer's
  // writes beyond them fail. A later call may only bring the end nearer.
  virtual void stopAfter(std::size_t sampleCount) = 0;

  // Samples handed to the device so far; it plays them within its latency.
  virtual std::size_t samplesPlayed() const = 0;
};

// The default output device, as a service.
class AudioOutput {
 public:
  virtual ~AudioOutput() = default;

  // Gets the output ready ahead of the first playback: connects to the sound
  // server, or starts the fallback when none answers. Takes tens of
  // milliseconds that a job can spend while it waits for its text. Any
  // thread; only the first call does anything, and playback works the same
  // without it.
  virtual void prepare() = 0;

  // Opens the default output device for mono samples at `sampleRate`.
  // Nothing when there is no usable output device. Any thread but an audio
  // or sound-server thread.
  virtual std::unique_ptr<AudioPlayback> openPlayback(int sampleRate) = 0;
};

}  // namespace speech_bridge
