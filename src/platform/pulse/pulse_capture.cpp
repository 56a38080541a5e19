// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pulse/pulse_capture.h"

#include <pulse/introspect.h>
#include <pulse/stream.h>

#include <string>

#include "platform/audio/capture_tap.h"
#include "platform/pulse/pulse_connection.h"

namespace speech_bridge {
namespace {

constexpr std::uint32_t kChannels = 1;
constexpr double kFragmentSeconds = 0.02;

class PulseCaptureEngine final : public AudioEngine, public AudioInputNode {
 public:
  explicit PulseCaptureEngine(PulseConnection& connection) : connection_(connection) {}
  ~PulseCaptureEngine() override { stop(); }

  AudioInputNode& inputNode() override { return *this; }

  AudioFormat outputFormatForBus(int) override {
    struct Query {
      PulseConnection* connection;
      bool done = false;
      std::uint32_t rate = 0;
    } query{&connection_};
    PulseConnection::Lock lock(connection_);
    pa_operation* operation = pa_context_get_source_info_by_name(
        connection_.context(), "@DEFAULT_SOURCE@",
        [](pa_context*, const pa_source_info* info, int eol, void* userData) {
          auto& query = *static_cast<Query*>(userData);
          if (info && info->sample_spec.rate > 0) query.rate = info->sample_spec.rate;
          if (eol != 0) {
            query.done = true;
            query.connection->signal();
          }
        },
        &query);
    if (!operation) return {};
    while (!query.done && pa_operation_get_state(operation) == PA_OPERATION_RUNNING) connection_.wait();
    pa_operation_unref(operation);
    if (query.rate == 0) return {};
    return {static_cast<double>(query.rate), kChannels};
  }

  void installTapOnBus(int, std::uint32_t, AudioFormat format, AudioTapBlock block) override {
    tap_.install(std::move(block), format);
  }

  void removeTapOnBus(int) override { tap_.remove(); }

  void prepare() override {}

  std::optional<std::string> startAndReturnError() override {
    const AudioFormat tapFormat = tap_.format();
    PulseConnection::Lock lock(connection_);
    if (stream_ || tap_.stopped()) return "the capture has already run";
    if (tapFormat.channelCount != kChannels || !(tapFormat.sampleRate > 0.0)) return "no capture format";
    const pa_sample_spec sampleFormat{PA_SAMPLE_FLOAT32NE, static_cast<std::uint32_t>(tapFormat.sampleRate),
                              static_cast<std::uint8_t>(kChannels)};
    stream_ = pa_stream_new(connection_.context(), "microphone", &sampleFormat, nullptr);
    if (!stream_) return connection_.lastError();
    pa_stream_set_state_callback(stream_, &PulseCaptureEngine::onStateChanged, this);
    pa_stream_set_read_callback(stream_, &PulseCaptureEngine::onAudio, this);
    const auto fragmentBytes = static_cast<std::uint32_t>(tapFormat.sampleRate * kFragmentSeconds * kChannels *
                                                          sizeof(float));
    const pa_buffer_attr attributes{static_cast<std::uint32_t>(-1), static_cast<std::uint32_t>(-1),
                                    static_cast<std::uint32_t>(-1), static_cast<std::uint32_t>(-1), fragmentBytes};
    if (pa_stream_connect_record(stream_, nullptr, &attributes, PA_STREAM_ADJUST_LATENCY) < 0) {
      return takeDown(connection_.lastError());
    }
    pa_stream_state_t state;
    while ((state = pa_stream_get_state(stream_)) == PA_STREAM_CREATING) connection_.wait();
    if (state != PA_STREAM_READY) return takeDown(connection_.lastError());
    return std::nullopt;
  }

  void stop() override {
    tap_.stop();
    PulseConnection::Lock lock(connection_);
    takeDown(std::string());
  }

 private:
  // With the loop's lock held: ends the stream, if any; returns `why`.
  std::string takeDown(std::string why) {
    if (!stream_) return why;
    pa_stream_set_state_callback(stream_, nullptr, nullptr);
    pa_stream_set_read_callback(stream_, nullptr, nullptr);
    pa_stream_disconnect(stream_);
    pa_stream_unref(stream_);
    stream_ = nullptr;
    return why;
  }

  static void onStateChanged(pa_stream*, void* userData) {
    static_cast<PulseCaptureEngine*>(userData)->connection_.signal();
  }

  // The loop's thread: hands each fragment to the tap.
  static void onAudio(pa_stream* stream, std::size_t, void* userData) {
    auto& engine = *static_cast<PulseCaptureEngine*>(userData);
    const void* data = nullptr;
    std::size_t bytes = 0;
    while (pa_stream_readable_size(stream) > 0 && pa_stream_peek(stream, &data, &bytes) >= 0 && bytes > 0) {
      // A hole (no data) is a gap the server could not fill: nothing to hear.
      const auto frames = static_cast<std::uint32_t>(bytes / sizeof(float) / kChannels);
      if (data) engine.tap_.deliver(static_cast<const float*>(data), frames);
      pa_stream_drop(stream);
    }
  }

  PulseConnection& connection_;
  pa_stream* stream_ = nullptr;  // under the loop's lock

  CaptureTap tap_;
};

}  // namespace

std::shared_ptr<AudioEngine> PulseCapture::makeEngine() { return std::make_shared<PulseCaptureEngine>(connection_); }

}  // namespace speech_bridge
