// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace speech_bridge {

// Quiets the room around the words before the decoder hears it. Music, a
// fan, a hum or distant voices before, between and after an order fit the
// free competitors of rejection (any phones, any words) far better than the
// grammar's silence, so an order heard over them was refused; quieted, they
// are the silence that the grammar's sentence holds anyway. Under the words
// the background stays as it is: it costs the words little.
//
// 10 ms frame by frame: a frame is loud when it is kAboveFloorDb above the
// background's quiet moments (the kFloorPercentile of the last
// kFloorSeconds: the room between the words and before them),
// kAboveBackgroundDb above the middle of the last kFloorSeconds of frames
// that were not loud (music that peaks well above its quiet moments peaks
// little above its middle), and above kQuietestSpeechDb. Speech is
// kOnsetFrames loud frames within the last kOnsetWindow; a frame is kept
// when speech was heard within kBeforeSeconds after it or kAfterSeconds
// before it (the input's start counting as speech), and quieted by
// kQuietedDb otherwise, with the gain gliding
// across a frame so that no click is made. Samples thus come out
// kBeforeSeconds late. Driven by one thread.
class BackgroundGate {
 public:
  static constexpr double kFrameSeconds = 0.01;
  static constexpr double kFloorSeconds = 1.5;
  static constexpr double kFloorPercentile = 0.1;
  static constexpr double kAboveFloorDb = 16.0;
  static constexpr double kAboveBackgroundDb = 8.0;
  static constexpr std::size_t kLeastBackgroundFrames = 10;
  static constexpr double kQuietestSpeechDb = -60.0;
  static constexpr int kOnsetFrames = 5;
  static constexpr int kOnsetWindow = 10;
  static constexpr double kBeforeSeconds = 0.2;
  static constexpr double kAfterSeconds = 0.3;
  static constexpr double kQuietedDb = -30.0;

  explicit BackgroundGate(int sampleRate);

  // Appends to `out` every sample of `in` (and of earlier calls) that can now
  // be decided.
  void process(std::span<const std::int16_t> in, std::vector<std::int16_t>& out);
  // The end of the input: appends the rest.
  void flush(std::vector<std::int16_t>& out);

  // Frames heard as speech so far.
  std::size_t speechFrames() const { return speechFrames_; }
  // Frames heard since the latest one heard as speech.
  std::size_t framesSinceSpeech() const { return framesSeen_ - lastSpeech_; }

 private:
  void endFrame();
  void remember(std::vector<double>& ring, std::size_t& next, double level) const;
  double percentile(const std::vector<double>& levels, double fraction);
  void release(std::size_t frames, std::vector<std::int16_t>& out);
  void releaseSamples(std::size_t count, std::vector<std::int16_t>& out);

  const std::size_t frameSamples_;
  const std::size_t floorFrames_;
  const std::size_t beforeFrames_;
  const std::size_t afterFrames_;
  std::vector<std::int16_t> pending_;  // samples not yet released
  std::size_t consumed_ = 0;           // of pending_, released in this call
  double frameEnergy_ = 0.0;           // of the frame being filled
  std::size_t frameFill_ = 0;
  std::vector<double> levels_;         // the last floorFrames_ frames' levels, in dB, as a ring
  std::size_t levelsAt_ = 0;           // where the next goes
  std::vector<double> background_;     // the last floorFrames_ levels of frames that were not loud
  std::size_t backgroundAt_ = 0;
  std::size_t framesSeen_ = 0;
  std::size_t speechFrames_ = 0;
  std::uint32_t loudHistory_ = 0;      // a bit per frame, newest lowest
  // Frame number + 1 of the latest frame heard as speech; 0: none. The
  // start counts as speech: a player who speaks as the job starts gives the
  // gate no room to judge the first word by, and quieting it loses the word.
  std::size_t lastSpeech_ = 1;
  std::size_t released_ = 0;           // frames released
  float gain_ = 1.0f;                  // at the end of the last released sample
  std::vector<double> sorted_;         // scratch for the percentile
};

}  // namespace speech_bridge
