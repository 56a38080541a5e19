// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pulse/pulse_playback.h"

#include <pulse/stream.h>

#include <algorithm>
#include <vector>

#include "platform/audio/queued_playback_state.h"
#include "platform/pulse/pulse_connection.h"

namespace speech_bridge {
namespace {

// What the server is asked to hold: small enough that a word-boundary stop
// lands near the word, large enough that a loaded machine does not starve it.
constexpr double kServerSeconds = 0.05;

class PulsePlayback final : public AudioPlayback {
 public:
  static std::unique_ptr<PulsePlayback> open(PulseConnection& connection, int sampleRate);

  ~PulsePlayback() override;
  PulsePlayback(const PulsePlayback&) = delete;
  PulsePlayback& operator=(const PulsePlayback&) = delete;

  bool write(const std::int16_t* samples, std::size_t count) override;
  void finishWriting() override;
  Ending waitUntilEnded() override;
  void stop() override;
  void stopAfter(std::size_t sampleCount) override;
  std::size_t samplesPlayed() const override;

  struct State;

 private:
  explicit PulsePlayback(std::unique_ptr<State> state);

  std::unique_ptr<State> state_;
};

struct PulsePlayback::State : QueuedPlaybackState {
  State(PulseConnection& connection, int sampleRate) : QueuedPlaybackState(sampleRate), connection(connection) {}

  // With the loop's lock held: hands the server what it has room for, and
  // once the last sample (or the limit) is handed over, asks it to play out.
  void feed();
  // With the loop's lock held: lets go of the stream.
  void takeDown();

  PulseConnection& connection;
  std::vector<std::int16_t> chunk;  // under the loop's lock

  // Under the loop's lock.
  pa_stream* stream = nullptr;
  bool started = false;
  bool draining = false;
};

void streamStateChanged(pa_stream* stream, void* userData) {
  auto& state = *static_cast<PulsePlayback::State*>(userData);
  const pa_stream_state_t now = pa_stream_get_state(stream);
  if (now == PA_STREAM_FAILED || now == PA_STREAM_TERMINATED) state.end(PulsePlayback::Ending::failed);
  state.connection.signal();
}

void serverWantsMore(pa_stream*, std::size_t, void* userData) { static_cast<PulsePlayback::State*>(userData)->feed(); }

void drained(pa_stream*, int success, void* userData) {
  auto& state = *static_cast<PulsePlayback::State*>(userData);
  if (!success) {
    state.end(PulsePlayback::Ending::failed);
  } else if (state.cutShort()) {
    state.end(PulsePlayback::Ending::stopped);
  } else {
    state.end(PulsePlayback::Ending::played);
  }
}

void PulsePlayback::State::feed() {
  if (!stream || !started || draining || pa_stream_get_state(stream) != PA_STREAM_READY) return;
  const std::size_t cap = limit.load(std::memory_order_acquire);
  const std::size_t sent = played.load(std::memory_order_relaxed);
  // Read before taking samples: once it is set, the queue holds the last ones.
  const bool lastSamplesQueued = writingFinished.load(std::memory_order_acquire);
  std::size_t room = pa_stream_writable_size(stream) / sizeof(std::int16_t);
  if (cap != kNoLimit) room = std::min(room, cap - std::min(cap, sent));
  chunk.resize(room);
  const std::size_t got = queue.pop(chunk.data(), room);
  if (got > 0 && pa_stream_write(stream, chunk.data(), got * sizeof(std::int16_t), nullptr, 0, PA_SEEK_RELATIVE) < 0) {
    end(Ending::failed);
    return;
  }
  played.store(sent + got, std::memory_order_release);
  const bool atLimit = cap != kNoLimit && sent + got >= cap;
  if (!atLimit && !(lastSamplesQueued && queue.size() == 0)) return;
  // What the server holds is still played out; a stream that never reached
  // its prebuffer is started first.
  draining = true;
  if (pa_operation* operation = pa_stream_trigger(stream, nullptr, nullptr)) pa_operation_unref(operation);
  if (pa_operation* operation = pa_stream_drain(stream, &drained, this)) {
    pa_operation_unref(operation);
  } else {
    end(Ending::failed);
  }
}

void PulsePlayback::State::takeDown() {
  if (!stream) return;
  pa_stream_set_state_callback(stream, nullptr, nullptr);
  pa_stream_set_write_callback(stream, nullptr, nullptr);
  pa_stream_disconnect(stream);
  pa_stream_unref(stream);
  stream = nullptr;
}

std::unique_ptr<PulsePlayback> PulsePlayback::open(PulseConnection& connection, int sampleRate) {
  auto state = std::make_unique<State>(connection, sampleRate);
  PulseConnection::Lock lock(connection);
  const pa_sample_spec sampleFormat{PA_SAMPLE_S16NE, static_cast<std::uint32_t>(sampleRate), 1};
  state->stream = pa_stream_new(connection.context(), "speech", &sampleFormat, nullptr);
  if (!state->stream) return nullptr;
  pa_stream_set_state_callback(state->stream, &streamStateChanged, state.get());
  pa_stream_set_write_callback(state->stream, &serverWantsMore, state.get());
  const auto serverBytes = static_cast<std::uint32_t>(sampleRate * kServerSeconds * sizeof(std::int16_t));
  const auto unset = static_cast<std::uint32_t>(-1);
  const pa_buffer_attr attributes{unset, serverBytes, unset, unset, unset};
  if (pa_stream_connect_playback(state->stream, nullptr, &attributes, PA_STREAM_ADJUST_LATENCY, nullptr, nullptr) <
      0) {
    state->takeDown();
    return nullptr;
  }
  pa_stream_state_t now;
  while ((now = pa_stream_get_state(state->stream)) == PA_STREAM_CREATING) connection.wait();
  if (now != PA_STREAM_READY) {
    state->takeDown();
    return nullptr;
  }
  return std::unique_ptr<PulsePlayback>(new PulsePlayback(std::move(state)));
}

PulsePlayback::PulsePlayback(std::unique_ptr<State> state) : state_(std::move(state)) {}

PulsePlayback::~PulsePlayback() { stop(); }

bool PulsePlayback::write(const std::int16_t* samples, std::size_t count) {
  State& state = *state_;
  return state.write(samples, count, [&] {
    PulseConnection::Lock lock(state.connection);
    if (!state.started && state.queue.size() >= state.startThreshold) state.started = true;
    state.feed();
  });
}

void PulsePlayback::finishWriting() {
  State& state = *state_;
  state.writingFinished.store(true, std::memory_order_release);
  PulseConnection::Lock lock(state.connection);
  state.started = true;
  state.feed();
}

AudioPlayback::Ending PulsePlayback::waitUntilEnded() { return state_->waitUntilEnded(); }

void PulsePlayback::stop() {
  State& state = *state_;
  state.stopRequested.store(true, std::memory_order_release);
  {
    PulseConnection::Lock lock(state.connection);
    // Disconnecting drops what the server still holds: silence at once.
    state.takeDown();
  }
  state.end(Ending::stopped);
}

void PulsePlayback::stopAfter(std::size_t sampleCount) {
  State& state = *state_;
  state.limitTo(sampleCount);
  PulseConnection::Lock lock(state.connection);
  state.feed();  // at the limit already: the drain starts now
}

std::size_t PulsePlayback::samplesPlayed() const { return state_->played.load(std::memory_order_acquire); }

}  // namespace

std::unique_ptr<AudioPlayback> PulseOutput::openPlayback(int sampleRate) {
  return PulsePlayback::open(connection_, sampleRate);
}

}  // namespace speech_bridge
