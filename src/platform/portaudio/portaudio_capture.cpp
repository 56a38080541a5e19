// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/portaudio/portaudio_capture.h"

#include <portaudio.h>

#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/audio/capture_tap.h"
#include "platform/portaudio/portaudio_library.h"

namespace speech_bridge {
namespace {

constexpr std::uint32_t kChannels = 1;

std::string describe(PaError error) {
  std::string text = Pa_GetErrorText(error);
  if (error == paUnanticipatedHostError) {
    const PaHostErrorInfo* host = Pa_GetLastHostErrorInfo();
    if (host && host->errorText && *host->errorText) text += std::string(": ") + host->errorText;
  }
  return text;
}

class PortAudioEngine final : public AudioEngine, public AudioInputNode {
 public:
  ~PortAudioEngine() override {
    if (closer_.joinable()) closer_.join();
    if (stream_) Pa_CloseStream(stream_);
  }

  AudioInputNode& inputNode() override { return *this; }

  AudioFormat outputFormatForBus(int) override {
    if (!startPortAudio()) return {};
    device_ = Pa_GetDefaultInputDevice();
    const PaDeviceInfo* info = device_ == paNoDevice ? nullptr : Pa_GetDeviceInfo(device_);
    if (!info || info->maxInputChannels < 1 || !(info->defaultSampleRate > 0.0)) return {};
    lowLatency_ = info->defaultLowInputLatency;
    return {info->defaultSampleRate, kChannels};
  }

  void installTapOnBus(int, std::uint32_t bufferSize, AudioFormat format, AudioTapBlock block) override {
    tap_.install(std::move(block), format);
    framesPerBuffer_ = bufferSize;
  }

  void removeTapOnBus(int) override { tap_.remove(); }

  void prepare() override {
    const AudioFormat tapFormat = tap_.format();
    if (stream_ || openError_ || tap_.stopped()) return;
    if (device_ == paNoDevice || tapFormat.channelCount == 0) {
      openError_ = describe(paInvalidDevice);
      return;
    }
    const PaStreamParameters input{device_, static_cast<int>(tapFormat.channelCount), paFloat32, lowLatency_,
                                   nullptr};
    const PaError error = Pa_OpenStream(&stream_, &input, nullptr, tapFormat.sampleRate, framesPerBuffer_,
                                        paNoFlag, &PortAudioEngine::onAudio, this);
    if (error != paNoError) {
      stream_ = nullptr;
      openError_ = describe(error);
    }
  }

  std::optional<std::string> startAndReturnError() override {
    prepare();
    if (openError_) return openError_;
    if (tap_.stopped()) return describe(paStreamIsStopped);
    const PaError error = Pa_StartStream(stream_);
    if (error != paNoError) return describe(error);
    return std::nullopt;
  }

  void stop() override {
    tap_.stop();
    if (!stream_) return;
    // Pa_StopStream would wait for the device's next buffer; aborting cancels
    // that wait, but closing still talks to the sound server: neither is done
    // on the caller's thread.
    PaStream* stream = std::exchange(stream_, nullptr);
    const auto takeDown = [stream] {
      Pa_AbortStream(stream);
      Pa_CloseStream(stream);
    };
    try {
      closer_ = std::thread(takeDown);
    } catch (const std::system_error&) {
      takeDown();  // no thread to spare: late is better than never
    }
  }

 private:
  static int onAudio(const void* input, void*, unsigned long frames, const PaStreamCallbackTimeInfo*,
                     PaStreamCallbackFlags, void* userData) {
    static_cast<PortAudioEngine*>(userData)->tap_.deliver(static_cast<const float*>(input),
                                                           static_cast<std::uint32_t>(frames));
    return paContinue;
  }

  PaDeviceIndex device_ = paNoDevice;
  PaTime lowLatency_ = 0.0;
  std::uint32_t framesPerBuffer_ = 0;
  PaStream* stream_ = nullptr;  // handed to closer_ by stop()
  std::optional<std::string> openError_;
  std::thread closer_;

  CaptureTap tap_;
};

}  // namespace

std::shared_ptr<AudioEngine> PortAudioCapture::makeEngine(const CaptureRequest&) { return std::make_shared<PortAudioEngine>(); }

}  // namespace speech_bridge
