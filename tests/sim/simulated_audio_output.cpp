// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/simulated_audio_output.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "sim/simulated_main_loop.h"

namespace speech_bridge::sim {

// Everything here is read and written under the loop's lock only: through
// changeShared(), or in a wake condition.
struct SimulatedAudioOutput::State {
  SimulatedAudioOutput::Playback record;
  std::optional<double> failsAt;
  bool writingFinished = false;
  std::size_t limit = std::numeric_limits<std::size_t>::max();

  std::size_t playableBy(double now) const {
    const double elapsed = std::max(0.0, now - record.openedAt);
    const auto byTime = static_cast<std::size_t>(std::floor(elapsed * record.sampleRate + 1e-6));
    return std::min({byTime, record.written, limit});
  }

  // Settles what has happened by `now`: samples heard, and an ending.
  void advanceTo(double now) {
    if (record.ending) return;
    const std::size_t played = playableBy(now);
    const auto endWith = [&](AudioPlayback::Ending how, double at) {
      record.ending = how;
      record.endedAt = at;
    };
    const double rate = record.sampleRate;
    if (failsAt && now >= *failsAt) {
      record.played = playableBy(*failsAt);
      endWith(AudioPlayback::Ending::failed, *failsAt);
      return;
    }
    record.played = played;
    if (limit != std::numeric_limits<std::size_t>::max() && played >= limit) {
      endWith(AudioPlayback::Ending::stopped, record.openedAt + static_cast<double>(limit) / rate);
    } else if (writingFinished && played >= record.written) {
      endWith(AudioPlayback::Ending::played, record.openedAt + static_cast<double>(record.written) / rate);
    }
  }
};

namespace {

class SimulatedPlayback final : public AudioPlayback {
 public:
  SimulatedPlayback(SimulatedMainLoop& loop, std::shared_ptr<SimulatedAudioOutput::State> state,
                    const std::function<std::size_t()>& lines)
      : loop_(loop), state_(std::move(state)), lines_(lines) {}

  // As a device is let go: what has not ended is silenced.
  ~SimulatedPlayback() override {
    loop_.changeSharedAt([&](double now) {
      state_->advanceTo(now);
      if (state_->record.ending) return;
      state_->record.ending = Ending::stopped;
      state_->record.endedAt = now;
    });
  }

  bool write(const std::int16_t*, std::size_t count) override {
    const auto queueSamples =
        static_cast<std::size_t>(SimulatedAudioOutput::kQueueSeconds * state_->record.sampleRate);
    while (count > 0) {
      std::size_t taken = 0;
      bool over = false;
      loop_.changeSharedAt([&](double now) {
        State& state = *state_;
        state.advanceTo(now);
        over = state.record.ending.has_value() || state.record.written >= state.limit;
        if (over) return;
        const std::size_t queued = state.record.written - state.record.played;
        taken = std::min({count, queueSamples - std::min(queueSamples, queued), state.limit - state.record.written});
        state.record.written += taken;
      });
      if (over) return false;
      count -= taken;
      if (count > 0) {
        loop_.waitUntil([this, queueSamples](double now) {
          State& state = *state_;
          state.advanceTo(now);
          return state.record.ending.has_value() || state.record.written - state.record.played < queueSamples;
        });
      }
    }
    return true;
  }

  // Both bring an ending due at a known time: the loop is woken then, so
  // that the ending is seen at that very moment.
  void finishWriting() override {
    double endsAt = 0.0;
    loop_.changeShared([&] {
      state_->writingFinished = true;
      endsAt = state_->record.openedAt + static_cast<double>(state_->record.written) / state_->record.sampleRate;
    });
    loop_.schedulePlatformEvent(endsAt, [] {});
  }

  Ending waitUntilEnded() override {
    loop_.waitUntil([this](double now) {
      state_->advanceTo(now);
      return state_->record.ending.has_value();
    });
    std::optional<Ending> ending;
    loop_.changeShared([&] { ending = state_->record.ending; });
    return *ending;
  }

  void stop() override {
    const std::size_t lines = lines_();
    loop_.changeSharedAt([&](double now) {
      State& state = *state_;
      if (!state.record.linesBeforeStop) state.record.linesBeforeStop = lines;
      state.advanceTo(now);
      if (state.record.ending) return;
      state.record.ending = Ending::stopped;
      state.record.endedAt = now;
    });
  }

  void stopAfter(std::size_t sampleCount) override {
    loop_.changeShared([&] { state_->limit = std::min(state_->limit, sampleCount); });
    loop_.schedulePlatformEvent(state_->record.openedAt + static_cast<double>(sampleCount) / state_->record.sampleRate,
                                [] {});
  }

  std::size_t samplesPlayed() const override {
    std::size_t played = 0;
    loop_.changeSharedAt([&](double now) {
      state_->advanceTo(now);
      played = state_->record.played;
    });
    return played;
  }

 private:
  using State = SimulatedAudioOutput::State;

  SimulatedMainLoop& loop_;
  std::shared_ptr<State> state_;
  const std::function<std::size_t()>& lines_;
};

}  // namespace

void SimulatedAudioOutput::prepare() {
  loop_.changeShared([&] { ++preparations_; });
}

std::unique_ptr<AudioPlayback> SimulatedAudioOutput::openPlayback(int sampleRate) {
  if (!hasDevice) return nullptr;
  auto state = std::make_shared<State>();
  loop_.changeSharedAt([&](double now) {
    state->record.sampleRate = sampleRate;
    state->record.openedAt = now;
    if (failsAfterSeconds) state->failsAt = state->record.openedAt + *failsAfterSeconds;
    opened_.push_back(state);
  });
  if (state->failsAt) loop_.schedulePlatformEvent(*state->failsAt, [] {});
  return std::make_unique<SimulatedPlayback>(loop_, state, linesWritten);
}

std::vector<SimulatedAudioOutput::Playback> SimulatedAudioOutput::playbacks() const {
  std::vector<Playback> records;
  loop_.changeShared([&] {
    for (const auto& state : opened_) records.push_back(state->record);
  });
  return records;
}

int SimulatedAudioOutput::preparations() const {
  int count = 0;
  loop_.changeShared([&] { count = preparations_; });
  return count;
}

std::string endingName(const std::optional<AudioPlayback::Ending>& ending) {
  if (!ending) return "not ended";
  switch (*ending) {
    case AudioPlayback::Ending::played: return "played";
    case AudioPlayback::Ending::stopped: return "stopped";
    case AudioPlayback::Ending::failed: return "failed";
  }
  return "?";
}

}  // namespace speech_bridge::sim
