// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include "platform/pocketsphinx/live_audio_source.h"
#include "platform/recognition_service.h"

namespace speech_bridge {

// A live request: what is appended becomes the audio of the task that
// recognises it.
class LiveAudioRequest final : public AudioBufferRecognitionRequest {
 public:
  LiveAudioRequest() : source_(std::make_shared<LiveAudioSource>()) {}

  void appendAudioPcmBuffer(const AudioPcmBuffer& buffer) override { source_->append(buffer); }
  void endAudio() override { source_->endInput(); }

  const std::shared_ptr<LiveAudioSource>& source() const { return source_; }

 private:
  const std::shared_ptr<LiveAudioSource> source_;
};

}  // namespace speech_bridge
