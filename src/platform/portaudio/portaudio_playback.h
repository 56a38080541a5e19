// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace speech_bridge {

// Mono 16-bit audio played on the default output device as it is produced.
//
// One producer thread writes the samples, says when there are no more, and
// waits for the end; any thread may stop the output at once. The device is
// closed when the object is destroyed, which must not happen on the audio
// thread.
class PortAudioPlayback {
 public:
  enum class Ending {
    played,   // every sample written has been heard
    stopped,  // stop() cut the output short
    failed,   // the device failed or could not start
  };

  // Starts PortAudio if needed and opens the default output device. Nothing
  // when there is no usable output device.
  static std::unique_ptr<PortAudioPlayback> open(int sampleRate);

  ~PortAudioPlayback();
  PortAudioPlayback(const PortAudioPlayback&) = delete;
  PortAudioPlayback& operator=(const PortAudioPlayback&) = delete;

  // Producer: queues the samples, waiting while the queue is full. Output
  // starts by itself once a little is queued. Returns false (dropping the
  // rest) once the playback has been stopped or has failed.
  bool write(const std::int16_t* samples, std::size_t count);

  // Producer: no more samples will come; the playback ends once the queued
  // ones have been heard.
  void finishWriting();

  // Producer: waits until the playback has ended, and says how.
  Ending waitUntilEnded();

  // Any thread: silences the output at once (the device's queued audio is
  // dropped). Harmless after the end.
  void stop();

  // Any thread: the output ends, as stopped, once `sampleCount` samples in
  // all have been played (at once if that many already have); the producer's
  // writes beyond them fail. A later call may only bring the end nearer.
  void stopAfter(std::size_t sampleCount);

  // Samples handed to the device so far; it plays them within its latency.
  std::size_t samplesPlayed() const;

  struct State;

 private:
  explicit PortAudioPlayback(std::unique_ptr<State> state);
  void start();

  std::unique_ptr<State> state_;
};

}  // namespace speech_bridge
