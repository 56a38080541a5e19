// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "platform/recognition_service.h"

namespace speech_bridge {

// Tells speech from silence in captured audio, 20 ms frame by frame, by
// energy against a noise floor that follows the input. A frame is loud when
// it is above kSpeechLevel (as the stop that needs no model judges) and
// kAboveFloorDb above the floor. The floor falls at once to a quieter frame,
// rises slowly, and jumps to any level the input has held within kSteadyDb
// for kSteadySeconds: steady noise and a hum become the floor, never speech.
// Speech begins with kOnsetFrames loud frames among the last kOnsetWindow,
// once, within the last kSteadySeconds, the level fell more than kSteadyDb
// below a loud frame (a sound that starts and holds is no voice, a voice
// rises and falls with its syllables), or, once speech was heard, at once;
// it gives way to silence after kPauseSeconds without a loud frame.
// No allocation: it runs on the capture thread.
class SpeechDetector {
 public:
  static constexpr double kFrameSeconds = 0.02;
  static constexpr double kSpeechLevelDb = -40.0;
  static constexpr double kAboveFloorDb = 10.0;
  static constexpr double kFloorRiseDbPerSecond = 3.0;
  static constexpr double kSteadyDb = 4.0;
  static constexpr double kSteadySeconds = 0.4;
  static constexpr int kOnsetFrames = 3;
  static constexpr int kOnsetWindow = 10;
  static constexpr double kPauseSeconds = 0.2;

  // Interleaved samples (full scale 1) at `sampleRate` with `channels`;
  // the change this audio brings, if any (the last one when several).
  std::optional<SpeechActivity> accept(const float* samples, std::size_t frames, std::uint32_t channels,
                                       double sampleRate);

  bool speaking() const { return speaking_; }

 private:
  std::optional<SpeechActivity> endFrame();
  bool fellSinceLoud() const;

  static constexpr std::size_t kSteadyFrames = 20;  // kSteadySeconds of frames

  std::size_t frameFill_ = 0;  // sample frames in the current 20 ms frame
  double energy_ = 0.0;        // its sum of squares
  std::size_t energyCount_ = 0;
  bool started_ = false;
  double floorDb_ = 0.0;
  std::array<double, kSteadyFrames> recentDb_{};
  std::size_t framesSeen_ = 0;
  std::uint32_t loudHistory_ = 0;  // a bit per frame of kSteadyFrames, newest lowest
  int quietFrames_ = 0;
  bool speaking_ = false;
  bool heardBefore_ = false;
};

}  // namespace speech_bridge
