// SPDX-License-Identifier: GPL-3.0-or-later
// Drives the real capture engine as listening does and reports what it saw,
// one "name value" per line, so that a test can run it against a sound
// server of its own.
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "app/default_audio.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 1.0;
  speech_bridge::DefaultAudioCapture capture;
  const Clock::time_point started = Clock::now();
  const auto engine = capture.makeEngine(speech_bridge::CaptureRequest{});
  const speech_bridge::AudioFormat format = engine->inputNode().outputFormatForBus(0);
  std::printf("format %.0f %u\n", format.sampleRate, format.channelCount);
  std::printf("format_seconds %.3f\n", secondsSince(started));
  if (format.sampleRate <= 0.0 || format.channelCount == 0) return 0;

  std::atomic<int> buffers{0};
  std::atomic<long> frames{0};
  std::atomic<int> otherFormats{0};
  std::atomic<float> peak{0.0f};
  std::atomic<double> firstAt{-1.0};
  Clock::time_point startedAt;
  engine->inputNode().installTapOnBus(0, 1024, format, [&](const speech_bridge::AudioPcmBuffer& buffer) {
    if (buffers.fetch_add(1) == 0) firstAt = secondsSince(startedAt);
    frames += buffer.frameLength;
    if (buffer.format.sampleRate != format.sampleRate || buffer.format.channelCount != format.channelCount) {
      ++otherFormats;
    }
    float loudest = peak.load();
    for (std::uint32_t i = 0; i < buffer.frameLength * buffer.format.channelCount; ++i) {
      loudest = std::max(loudest, std::fabs(buffer.samples[i]));
    }
    peak = loudest;
  });
  engine->prepare();
  startedAt = Clock::now();
  if (const auto error = engine->startAndReturnError()) {
    std::printf("start_error %s\n", error->c_str());
    return 0;
  }
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  const int atStop = buffers.load();
  const Clock::time_point stopping = Clock::now();
  engine->stop();
  const double stopSeconds = secondsSince(stopping);
  engine->stop();
  engine->inputNode().removeTapOnBus(0);
  const int atRemoval = buffers.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  std::printf("buffers_at_stop %d\n", atStop);
  std::printf("stop_seconds %.3f\n", stopSeconds);
  std::printf("buffers %d\n", atRemoval);
  std::printf("buffers_after_removal %d\n", buffers.load() - atRemoval);
  std::printf("frames %ld\n", frames.load());
  std::printf("other_formats %d\n", otherFormats.load());
  std::printf("first_buffer_seconds %.3f\n", firstAt.load());
  std::printf("peak %.3f\n", peak.load());
  return 0;
}
