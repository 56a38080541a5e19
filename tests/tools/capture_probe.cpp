// SPDX-License-Identifier: GPL-3.0-or-later
// Drives the real capture engine as listening does and reports what it saw,
// one "name value" per line, so that a test can run it against a sound
// server of its own.
//
//   capture_probe [SECONDS] [--cancel-echo] [--wav PATH]
//
// --cancel-echo asks for echo cancelling, as listening does by default;
// --wav writes what the tap received (16-bit mono) for a person to hear.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/default_audio.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

void writeWav(const std::string& path, const std::vector<float>& samples, std::uint32_t rate) {
  std::ofstream out(path, std::ios::binary);
  const auto put = [&out](std::uint32_t value, int bytes) { out.write(reinterpret_cast<const char*>(&value), bytes); };
  const auto dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
  out.write("RIFF", 4);
  put(36 + dataBytes, 4);
  out.write("WAVEfmt ", 8);
  put(16, 4), put(1, 2), put(1, 2), put(rate, 4), put(rate * 2, 4), put(2, 2), put(16, 2);
  out.write("data", 4);
  put(dataBytes, 4);
  for (const float sample : samples) put(static_cast<std::uint16_t>(static_cast<std::int16_t>(
                                             std::clamp(sample, -1.0f, 1.0f) * 32767.0f)), 2);
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 1.0;
  speech_bridge::CaptureRequest request;
  std::string wavPath;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--cancel-echo") == 0) {
      request.cancelEcho = true;
    } else if (std::strcmp(argv[i], "--wav") == 0 && i + 1 < argc) {
      wavPath = argv[++i];
    } else {
      seconds = std::atof(argv[i]);
    }
  }
  speech_bridge::DefaultAudioCapture capture;
  const Clock::time_point started = Clock::now();
  const auto engine = capture.makeEngine(request);
  const speech_bridge::AudioFormat format = engine->inputNode().outputFormatForBus(0);
  std::printf("format %.0f %u\n", format.sampleRate, format.channelCount);
  std::printf("format_seconds %.3f\n", secondsSince(started));
  if (format.sampleRate <= 0.0 || format.channelCount == 0) return 0;

  std::atomic<int> buffers{0};
  std::atomic<long> frames{0};
  std::atomic<int> otherFormats{0};
  std::atomic<float> peak{0.0f};
  std::atomic<double> firstAt{-1.0};
  // The loudness of the last half of the capture, when a canceller has long
  // settled: the sum of squares and the count of samples.
  std::mutex lateMutex;
  double lateSquares = 0.0;
  long lateSamples = 0;
  std::vector<float> heard;
  Clock::time_point startedAt;
  engine->inputNode().installTapOnBus(0, 1024, format, [&](const speech_bridge::AudioPcmBuffer& buffer) {
    if (buffers.fetch_add(1) == 0) firstAt = secondsSince(startedAt);
    {
      const std::uint32_t count = buffer.frameLength * buffer.format.channelCount;
      std::lock_guard lock(lateMutex);
      if (!wavPath.empty()) heard.insert(heard.end(), buffer.samples, buffer.samples + count);
      if (secondsSince(startedAt) > seconds / 2) {
        for (std::uint32_t i = 0; i < count; ++i) lateSquares += double(buffer.samples[i]) * buffer.samples[i];
        lateSamples += count;
      }
    }
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
  std::lock_guard lock(lateMutex);
  std::printf("late_rms %.5f\n", lateSamples ? std::sqrt(lateSquares / lateSamples) : 0.0);
  if (!wavPath.empty()) writeWav(wavPath, heard, static_cast<std::uint32_t>(format.sampleRate));
  return 0;
}
