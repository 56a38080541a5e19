// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "platform/pocketsphinx/audio_conversion.h"
#include "platform/pocketsphinx/audio_source.h"

namespace speech_bridge {

struct AudioFile;

// Audio read from a local file with libsndfile (WAV, FLAC, Ogg Vorbis and
// Opus, MP3 and more) at any rate and channel count, a block at a time, mixed
// to mono and resampled to the model's rate. Memory stays bounded however
// long the file. A path that is no readable audio gives a sentence saying
// what it is instead ("... is a directory").
class AudioFileSource final : public AudioSource {
 public:
  explicit AudioFileSource(std::string path);
  ~AudioFileSource() override;

  std::optional<std::string> open(int sampleRate) override;
  AudioRead read(std::span<std::int16_t> out) override;
  void endInput() override { inputEnded_.store(true); }

 private:
  std::optional<std::string> refill();

  const std::string path_;
  std::unique_ptr<AudioFile> file_;
  std::unique_ptr<MonoResampler> resampler_;
  std::vector<float> frames_;
  std::vector<float> mono_;
  std::vector<std::int16_t> pending_;  // converted, not yet read
  std::size_t pendingRead_ = 0;
  bool fileEnded_ = false;
  std::atomic<bool> inputEnded_{false};
};

}  // namespace speech_bridge
