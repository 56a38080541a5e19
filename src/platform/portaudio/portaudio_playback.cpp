// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/portaudio/portaudio_playback.h"

#include <portaudio.h>

#include <algorithm>
#include <atomic>
#include <mutex>

#include "platform/audio/queued_playback_state.h"
#include "platform/portaudio/portaudio_library.h"

namespace speech_bridge {
namespace {

// The device buffer asked for: small enough to start and stop quickly, large
// enough that a loaded machine does not starve it.
constexpr double kOutputLatencySeconds = 0.05;

class PortAudioPlayback final : public AudioPlayback {
 public:
  static std::unique_ptr<PortAudioPlayback> open(int sampleRate);

  ~PortAudioPlayback() override;
  PortAudioPlayback(const PortAudioPlayback&) = delete;
  PortAudioPlayback& operator=(const PortAudioPlayback&) = delete;

  bool write(const std::int16_t* samples, std::size_t count) override;
  void finishWriting() override;
  Ending waitUntilEnded() override;
  void stop() override;
  void stopAfter(std::size_t sampleCount) override;
  std::size_t samplesPlayed() const override;

  struct State;

 private:
  explicit PortAudioPlayback(std::unique_ptr<State> state);
  void start();

  std::unique_ptr<State> state_;
};

struct PortAudioPlayback::State : QueuedPlaybackState {
  using QueuedPlaybackState::QueuedPlaybackState;

  std::atomic<bool> playedToTheEnd{false};  // set by the audio thread

  std::mutex streamMutex;  // the stream's start, abort and close
  PaStream* stream = nullptr;
  bool started = false;
};

// The audio thread: copies queued samples out, and nothing else.
int renderOutput(const void*, void* output, unsigned long frames, const PaStreamCallbackTimeInfo*,
                 PaStreamCallbackFlags, void* userData) {
  auto& state = *static_cast<PortAudioPlayback::State*>(userData);
  auto* out = static_cast<std::int16_t*>(output);
  if (state.stopRequested.load(std::memory_order_acquire)) {
    std::fill(out, out + frames, std::int16_t{0});
    return paAbort;
  }
  const std::size_t limit = state.limit.load(std::memory_order_acquire);
  const std::size_t played = state.played.load(std::memory_order_relaxed);
  const bool limited = limit != QueuedPlaybackState::kNoLimit;
  const std::size_t allowed = limited ? std::min<std::size_t>(frames, limit - std::min(limit, played)) : frames;
  // Read before taking samples: once it is set, the queue holds the last ones.
  const bool lastSamplesQueued = state.writingFinished.load(std::memory_order_acquire);
  const std::size_t got = state.queue.pop(out, allowed);
  state.played.store(played + got, std::memory_order_release);
  if (got == frames) return paContinue;
  std::fill(out + got, out + frames, std::int16_t{0});
  // At the limit, or at the end: what the device holds is still played out.
  if (limited && (got == allowed || lastSamplesQueued)) return paComplete;
  if (!lastSamplesQueued) return paContinue;  // the producer is behind: a moment of silence
  state.playedToTheEnd.store(true, std::memory_order_release);
  return paComplete;
}

// Called once the stream has stopped: after the device has played out what a
// completing callback left (PortAudio drains it), after an abort, or when the
// device failed.
void streamFinished(void* userData) {
  auto& state = *static_cast<PortAudioPlayback::State*>(userData);
  if (state.cutShort()) {
    state.end(PortAudioPlayback::Ending::stopped);
  } else if (state.playedToTheEnd.load(std::memory_order_acquire)) {
    state.end(PortAudioPlayback::Ending::played);
  } else {
    state.end(PortAudioPlayback::Ending::failed);
  }
}

std::unique_ptr<PortAudioPlayback> PortAudioPlayback::open(int sampleRate) {
  if (!startPortAudio()) return nullptr;
  const PaDeviceIndex device = Pa_GetDefaultOutputDevice();
  if (device == paNoDevice) return nullptr;
  const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
  if (!info || info->maxOutputChannels < 1) return nullptr;

  auto state = std::make_unique<State>(sampleRate);
  PaStreamParameters parameters{};
  parameters.device = device;
  parameters.channelCount = 1;
  parameters.sampleFormat = paInt16;
  parameters.suggestedLatency = std::max(kOutputLatencySeconds, info->defaultLowOutputLatency);
  PaStream* stream = nullptr;
  if (Pa_OpenStream(&stream, nullptr, &parameters, sampleRate, paFramesPerBufferUnspecified, paNoFlag,
                    &renderOutput, state.get()) != paNoError) {
    return nullptr;
  }
  if (Pa_SetStreamFinishedCallback(stream, &streamFinished) != paNoError) {
    Pa_CloseStream(stream);
    return nullptr;
  }
  state->stream = stream;
  return std::unique_ptr<PortAudioPlayback>(new PortAudioPlayback(std::move(state)));
}

PortAudioPlayback::PortAudioPlayback(std::unique_ptr<State> state) : state_(std::move(state)) {}

PortAudioPlayback::~PortAudioPlayback() {
  stop();
  std::lock_guard lock(state_->streamMutex);
  Pa_CloseStream(state_->stream);
}

bool PortAudioPlayback::write(const std::int16_t* samples, std::size_t count) {
  State& state = *state_;
  return state.write(samples, count, [&] {
    if (!state.started && state.queue.size() >= state.startThreshold) start();
  });
}

void PortAudioPlayback::finishWriting() {
  state_->writingFinished.store(true, std::memory_order_release);
  if (!state_->started) start();
}

PortAudioPlayback::Ending PortAudioPlayback::waitUntilEnded() { return state_->waitUntilEnded(); }

void PortAudioPlayback::stop() {
  State& state = *state_;
  state.stopRequested.store(true, std::memory_order_release);
  std::lock_guard lock(state.streamMutex);
  if (state.started) {
    // Drops what the device still holds; the finished callback reports the end.
    Pa_AbortStream(state.stream);
  } else {
    state.end(Ending::stopped);
  }
}

void PortAudioPlayback::stopAfter(std::size_t sampleCount) { state_->limitTo(sampleCount); }

std::size_t PortAudioPlayback::samplesPlayed() const { return state_->played.load(std::memory_order_acquire); }

void PortAudioPlayback::start() {
  State& state = *state_;
  std::lock_guard lock(state.streamMutex);
  if (state.started || state.stopRequested.load(std::memory_order_acquire)) return;
  state.started = true;
  if (Pa_StartStream(state.stream) != paNoError) state.end(Ending::failed);
}

}  // namespace

void PortAudioOutput::prepare() { startPortAudio(); }

std::unique_ptr<AudioPlayback> PortAudioOutput::openPlayback(int sampleRate) {
  return PortAudioPlayback::open(sampleRate);
}

}  // namespace speech_bridge
