// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/audio_capture.h"
#include "sim/call_log.h"

namespace speech_bridge::sim {

class SimulatedMainLoop;

// A microphone scripted by the test: its format, whether it starts, and the
// buffers it captures, each delivered to the tap at a virtual time after the
// engine started. As a real engine does, stop() ends delivery at once, also
// of buffers that were due later, and an engine never starts again. Records
// every call in the shared call log: "makeEngine",
// "outputFormatForBus 0", "installTapOnBus 0 1024", "prepare", "start",
// "stop", "removeTapOnBus 0".
class SimulatedAudioCapture final : public AudioCapture {
 public:
  SimulatedAudioCapture(SimulatedMainLoop& loop, CallLog& calls) : loop_(loop), calls_(calls) {}

  struct CapturedBuffer {
    double secondsAfterStart;
    std::vector<float> samples;  // interleaved, inputFormat.channelCount per frame
  };

  // Script.
  AudioFormat inputFormat{48000.0, 1};
  std::optional<std::string> startError;  // startAndReturnError() answers this
  std::vector<CapturedBuffer> buffers;

  // Adds `count` buffers of `frames` frames each, one every `frames` / rate
  // seconds from the start, as a running device would deliver them.
  void captureBuffers(int count, std::uint32_t frames = 1024, float level = 0.25f);

  int buffersDelivered = 0;  // handed to the tap
  int buffersDropped = 0;    // captured while no tap ran: stopped or removed
  std::uint32_t requestedFormatChannels = 0;  // the format the tap asked for
  double requestedFormatRate = 0.0;

  std::optional<CaptureRequest> lastRequest;  // what the last makeEngine() was asked

  std::shared_ptr<AudioEngine> makeEngine(const CaptureRequest& request) override;

 private:
  friend class SimulatedAudioEngine;
  SimulatedMainLoop& loop_;
  CallLog& calls_;
  int enginesMade_ = 0;
};

}  // namespace speech_bridge::sim
