// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pulse/pulse_capture.h"

#include <pulse/introspect.h>
#include <pulse/proplist.h>
#include <pulse/stream.h>

#include <cstring>
#include <string>

#include "platform/audio/capture_tap.h"
#include "platform/audio/echo_cancelling_filter.h"
#include "platform/pulse/pulse_connection.h"

namespace speech_bridge {
namespace {

constexpr std::uint32_t kChannels = 1;
constexpr double kFragmentSeconds = 0.02;
// The reference in small fragments, so that it keeps ahead of the microphone
// and a null sink renders in real time for it.
constexpr double kReferenceFragmentSeconds = 0.01;

// Whether the source is a system echo canceller's output (PulseAudio's
// module-echo-cancel, PipeWire's echo-cancel): it needs no second one.
bool echoCancelled(const pa_source_info& info) {
  const auto says = [](const char* text) { return text && std::strstr(text, "echo-cancel") != nullptr; };
  const auto property = [&info](const char* key) { return pa_proplist_gets(info.proplist, key); };
  return says(info.driver) || says(info.name) || says(property("node.name")) || says(property("factory.name"));
}

class PulseCaptureEngine final : public AudioEngine, public AudioInputNode {
 public:
  PulseCaptureEngine(PulseConnection& connection, EchoCancellerMaker cancellers)
      : connection_(connection), cancellers_(std::move(cancellers)) {}
  ~PulseCaptureEngine() override { stop(); }

  AudioInputNode& inputNode() override { return *this; }

  AudioFormat outputFormatForBus(int) override {
    struct Query {
      PulseConnection* connection;
      bool done = false;
      std::uint32_t rate = 0;
      bool echoCancelled = false;
      std::string name;
    };
    Query query{&connection_, false, 0, false, {}};
    PulseConnection::Lock lock(connection_);
    pa_operation* operation = pa_context_get_source_info_by_name(
        connection_.context(), "@DEFAULT_SOURCE@",
        [](pa_context*, const pa_source_info* info, int eol, void* userData) {
          auto& query = *static_cast<Query*>(userData);
          if (info && info->sample_spec.rate > 0) query.rate = info->sample_spec.rate;
          if (info) query.echoCancelled = echoCancelled(*info);
          if (info && info->name) query.name = info->name;
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
    sourceEchoCancelled_ = query.echoCancelled;
    sourceName_ = query.name;
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
    // Before the microphone's first fragment, which may come at once.
    if (cancellers_ && !sourceEchoCancelled_) {
      if (auto canceller = cancellers_(static_cast<int>(tapFormat.sampleRate))) {
        filter_.emplace(std::move(canceller));
      }
    }
    if (pa_stream_connect_record(stream_, nullptr, &attributes, PA_STREAM_ADJUST_LATENCY) < 0) {
      return takeDown(connection_.lastError());
    }
    pa_stream_state_t state;
    while ((state = pa_stream_get_state(stream_)) == PA_STREAM_CREATING) connection_.wait();
    if (state != PA_STREAM_READY) return takeDown(connection_.lastError());
    if (filter_) startReference(sampleFormat);
    return std::nullopt;
  }

  void stop() override {
    tap_.stop();
    PulseConnection::Lock lock(connection_);
    takeDown(std::string());
  }

 private:
  // With the loop's lock held: asks for the default sink, whose monitor is
  // to be the canceller's reference. Not waited for: the microphone records
  // already, uncancelled until the reference comes, and goes on so if it
  // never does.
  void startReference(const pa_sample_spec& sampleFormat) {
    referenceFormat_ = sampleFormat;
    sinkQuery_ = pa_context_get_sink_info_by_name(
        connection_.context(), "@DEFAULT_SINK@",
        [](pa_context*, const pa_sink_info* info, int, void* userData) {
          auto& engine = *static_cast<PulseCaptureEngine*>(userData);
          if (info && !engine.reference_ && engine.stream_) engine.recordMonitor(*info);
        },
        this);
  }

  // The loop's thread, with the default sink's answer: records its monitor.
  void recordMonitor(const pa_sink_info& sink) {
    // A microphone that is the speaker's own monitor would cancel itself out.
    if (!sink.monitor_source_name || sourceName_ == sink.monitor_source_name) return;
    // The sink plays what its monitor hands over about its latency later.
    filter_->setDelayHint(static_cast<int>(sink.latency / 1000 + kFragmentSeconds * 1000 / 2));
    reference_ = pa_stream_new(connection_.context(), "echo reference", &referenceFormat_, nullptr);
    if (!reference_) return;
    pa_stream_set_read_callback(reference_, &PulseCaptureEngine::onReference, this);
    const auto fragmentBytes =
        static_cast<std::uint32_t>(referenceFormat_.rate * kReferenceFragmentSeconds * kChannels * sizeof(float));
    const pa_buffer_attr attributes{static_cast<std::uint32_t>(-1), static_cast<std::uint32_t>(-1),
                                    static_cast<std::uint32_t>(-1), static_cast<std::uint32_t>(-1), fragmentBytes};
    // Should the sink go, the reference must not follow another sink's
    // monitor unnoticed: it ends instead, and the microphone goes on.
    if (pa_stream_connect_record(reference_, sink.monitor_source_name, &attributes,
                                 static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE)) < 0) {
      endStream(reference_);
    }
  }

  // With the loop's lock held: ends the streams, if any; returns `why`.
  std::string takeDown(std::string why) {
    if (sinkQuery_) {
      pa_operation_cancel(sinkQuery_);
      pa_operation_unref(sinkQuery_);
      sinkQuery_ = nullptr;
    }
    endStream(reference_);
    endStream(stream_);
    return why;
  }

  static void endStream(pa_stream*& stream) {
    if (!stream) return;
    pa_stream_set_state_callback(stream, nullptr, nullptr);
    pa_stream_set_read_callback(stream, nullptr, nullptr);
    pa_stream_disconnect(stream);
    pa_stream_unref(stream);
    stream = nullptr;
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
      if (data && engine.filter_) {
        engine.filter_->filterMicrophone(static_cast<const float*>(data), frames * kChannels,
                                         [&engine](const float* samples, std::uint32_t count) {
                                           engine.tap_.deliver(samples, count / kChannels);
                                         });
      } else if (data) {
        engine.tap_.deliver(static_cast<const float*>(data), frames);
      }
      pa_stream_drop(stream);
    }
  }

  // The loop's thread: the reference goes to the canceller and nowhere else.
  static void onReference(pa_stream* stream, std::size_t, void* userData) {
    auto& engine = *static_cast<PulseCaptureEngine*>(userData);
    const void* data = nullptr;
    std::size_t bytes = 0;
    while (pa_stream_readable_size(stream) > 0 && pa_stream_peek(stream, &data, &bytes) >= 0 && bytes > 0) {
      if (data) engine.filter_->addReference(static_cast<const float*>(data), bytes / sizeof(float));
      pa_stream_drop(stream);
    }
  }

  PulseConnection& connection_;
  const EchoCancellerMaker cancellers_;  // empty: no cancelling asked for
  bool sourceEchoCancelled_ = false;   // main thread
  std::string sourceName_;             // set before start, then read on the loop's thread
  pa_stream* stream_ = nullptr;  // under the loop's lock
  pa_stream* reference_ = nullptr;  // under the loop's lock
  pa_operation* sinkQuery_ = nullptr;  // under the loop's lock
  pa_sample_spec referenceFormat_{};   // under the loop's lock
  // Made before the microphone records, then used on the loop's thread only.
  std::optional<EchoCancellingFilter> filter_;

  CaptureTap tap_;
};

}  // namespace

std::shared_ptr<AudioEngine> PulseCapture::makeEngine(const CaptureRequest& request) {
  return std::make_shared<PulseCaptureEngine>(connection_, request.cancelEcho ? cancellers_ : EchoCancellerMaker());
}

}  // namespace speech_bridge
