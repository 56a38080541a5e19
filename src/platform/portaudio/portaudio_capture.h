// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include "platform/audio_capture.h"

namespace speech_bridge {

// The default input device through PortAudio (ALSA, so PulseAudio and
// PipeWire through their ALSA plugins, or JACK).
//
// PortAudio starts when a job first asks for the input format, never before.
// The format is the device's default sample rate and one channel: recognition
// wants mono, a sound server mixes every channel down for a mono stream, and
// PortAudio's ALSA layer opens a card that cannot record one channel with its
// minimum and keeps the first. (ALSA's "default" device through a sound
// server reports 32 input channels, the plugin's upper bound, not a
// microphone's.)
//
// The stream asks for the device's default low latency; with 1024-frame
// buffers the first one arrives 25-40 ms after start through PulseAudio. The
// tap runs on PortAudio's callback thread with exactly the requested number
// of frames per buffer. That thread never waits: while the main thread
// is removing the tap or stopping, a buffer is dropped rather than waited for.
//
// stop() ends delivery at once and takes the stream down on a thread of its
// own, which the engine's destructor joins: a sound server whose source is
// idle (a null sink's monitor with nothing playing) may send its first buffer
// only 2 s after the start, and PortAudio's stop waits for the next buffer.
class PortAudioCapture final : public AudioCapture {
 public:
  // No cancelling: the request's cancelEcho is not kept to.
  std::shared_ptr<AudioEngine> makeEngine(const CaptureRequest& request) override;
};

}  // namespace speech_bridge
