// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/portaudio/portaudio_playback.h"

#include <portaudio.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/audio/playback_sample_queue.h"
#include "platform/portaudio/portaudio_library.h"

namespace speech_bridge {
namespace {

// Enough to ride out a busy moment on the producer's side; more only adds
// memory, since the producer runs far ahead of real time.
constexpr double kQueueSeconds = 5.0;
// Output starts once this much is queued (or writing has finished), so the
// device's first buffers hold speech rather than silence.
constexpr double kStartSeconds = 0.1;
// The device buffer asked for: small enough to start and stop quickly, large
// enough that a loaded machine does not starve it.
constexpr double kOutputLatencySeconds = 0.05;
// How long a producer facing a full queue waits before looking again. The
// queue then holds seconds of audio, so nothing is late for it.
constexpr auto kFullQueuePause = std::chrono::milliseconds(10);

}  // namespace

struct PortAudioPlayback::State {
  explicit State(int sampleRate)
      : queue(static_cast<std::size_t>(sampleRate * kQueueSeconds)),
        startThreshold(static_cast<std::size_t>(sampleRate * kStartSeconds)) {}

  void end(Ending how) {
    {
      std::lock_guard lock(endMutex);
      if (!ending) ending = how;
    }
    ended.notify_all();
  }

  bool hasEnded() {
    std::lock_guard lock(endMutex);
    return ending.has_value();
  }

  static constexpr std::size_t kNoLimit = std::numeric_limits<std::size_t>::max();

  PlaybackSampleQueue queue;
  const std::size_t startThreshold;
  std::atomic<bool> stopRequested{false};
  std::atomic<bool> writingFinished{false};
  std::atomic<bool> playedToTheEnd{false};
  std::atomic<std::size_t> limit{kNoLimit};  // set by stopAfter()
  std::atomic<std::size_t> played{0};        // written by the audio thread only
  std::size_t written = 0;                   // the producer's own count

  std::mutex streamMutex;  // the stream's start, abort and close
  PaStream* stream = nullptr;
  bool started = false;

  std::mutex endMutex;
  std::condition_variable ended;
  std::optional<Ending> ending;
};

namespace {

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
  const bool limited = limit != PortAudioPlayback::State::kNoLimit;
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
  if (state.stopRequested.load(std::memory_order_acquire) ||
      state.limit.load(std::memory_order_acquire) != PortAudioPlayback::State::kNoLimit) {
    state.end(PortAudioPlayback::Ending::stopped);
  } else if (state.playedToTheEnd.load(std::memory_order_acquire)) {
    state.end(PortAudioPlayback::Ending::played);
  } else {
    state.end(PortAudioPlayback::Ending::failed);
  }
}

}  // namespace

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
  while (!state.stopRequested.load(std::memory_order_acquire)) {
    if (state.written >= state.limit.load(std::memory_order_acquire)) return false;
    const std::size_t pushed = state.queue.push(samples, count);
    state.written += pushed;
    samples += pushed;
    count -= pushed;
    if (!state.started && state.queue.size() >= state.startThreshold) start();
    if (state.hasEnded()) return false;
    if (count == 0) return true;
    std::this_thread::sleep_for(kFullQueuePause);
  }
  return false;
}

void PortAudioPlayback::finishWriting() {
  state_->writingFinished.store(true, std::memory_order_release);
  if (!state_->started) start();
}

PortAudioPlayback::Ending PortAudioPlayback::waitUntilEnded() {
  std::unique_lock lock(state_->endMutex);
  state_->ended.wait(lock, [this] { return state_->ending.has_value(); });
  return *state_->ending;
}

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

void PortAudioPlayback::stopAfter(std::size_t sampleCount) {
  std::size_t limit = state_->limit.load(std::memory_order_acquire);
  while (sampleCount < limit && !state_->limit.compare_exchange_weak(limit, sampleCount)) {
  }
}

std::size_t PortAudioPlayback::samplesPlayed() const { return state_->played.load(std::memory_order_acquire); }

void PortAudioPlayback::start() {
  State& state = *state_;
  std::lock_guard lock(state.streamMutex);
  if (state.started || state.stopRequested.load(std::memory_order_acquire)) return;
  state.started = true;
  if (Pa_StartStream(state.stream) != paNoError) state.end(Ending::failed);
}

}  // namespace speech_bridge
