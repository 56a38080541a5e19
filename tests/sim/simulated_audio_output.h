// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/audio_output.h"

namespace speech_bridge::sim {

class SimulatedMainLoop;

// An output device on the virtual clock: a playback plays its samples in real
// time from the moment it is opened, its queue holds kQueueSeconds, and a
// producer facing a full queue or waiting for the end blocks on the loop, so
// that time moves on meanwhile. Records every playback.
class SimulatedAudioOutput final : public AudioOutput {
 public:
  static constexpr double kQueueSeconds = 5.0;

  explicit SimulatedAudioOutput(SimulatedMainLoop& loop) : loop_(loop) {}

  // No device: openPlayback() answers nothing.
  bool hasDevice = true;
  // The device fails this long after a playback opens, if it has not ended.
  std::optional<double> failsAfterSeconds;

  // What happened to each playback, in the order opened; read it once the
  // playbacks have ended.
  struct Playback {
    int sampleRate = 0;
    double openedAt = 0.0;
    std::size_t written = 0;  // samples the producer queued
    std::size_t played = 0;   // samples heard
    std::optional<AudioPlayback::Ending> ending;
    double endedAt = 0.0;
    // Lines written to standard output when stop() was first called, if it was.
    std::optional<std::size_t> linesBeforeStop;
  };
  std::vector<Playback> playbacks() const;
  int preparations() const;
  // Counts the lines written so far (set it to the streams' count).
  std::function<std::size_t()> linesWritten = [] { return std::size_t{0}; };

  void prepare() override;
  std::unique_ptr<AudioPlayback> openPlayback(int sampleRate) override;

  struct State;

 private:
  SimulatedMainLoop& loop_;
  std::vector<std::shared_ptr<State>> opened_;  // under the loop's lock
  int preparations_ = 0;                        // under the loop's lock
};

// The simulated playback's word for an ending, for messages.
std::string endingName(const std::optional<AudioPlayback::Ending>& ending);

}  // namespace speech_bridge::sim
