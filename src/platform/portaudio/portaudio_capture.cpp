// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/portaudio/portaudio_capture.h"

#include <portaudio.h>

#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

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
    std::lock_guard lock(tapMutex_);
    tap_ = std::move(block);
    tapFormat_ = format;
    framesPerBuffer_ = bufferSize;
  }

  void removeTapOnBus(int) override {
    // Waits for a callback that is running the tap; the callback never waits for this.
    std::lock_guard lock(tapMutex_);
    tap_ = nullptr;
  }

  void prepare() override {
    if (stream_ || openError_ || stopped_) return;
    if (device_ == paNoDevice || tapFormat_.channelCount == 0) {
      openError_ = describe(paInvalidDevice);
      return;
    }
    const PaStreamParameters input{device_, static_cast<int>(tapFormat_.channelCount), paFloat32, lowLatency_,
                                   nullptr};
    const PaError error = Pa_OpenStream(&stream_, &input, nullptr, tapFormat_.sampleRate, framesPerBuffer_,
                                        paNoFlag, &PortAudioEngine::onAudio, this);
    if (error != paNoError) {
      stream_ = nullptr;
      openError_ = describe(error);
    }
  }

  std::optional<std::string> startAndReturnError() override {
    prepare();
    if (openError_) return openError_;
    if (stopped_) return describe(paStreamIsStopped);
    const PaError error = Pa_StartStream(stream_);
    if (error != paNoError) return describe(error);
    return std::nullopt;
  }

  void stop() override {
    {
      std::lock_guard lock(tapMutex_);
      stopped_ = true;
    }
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
    auto& engine = *static_cast<PortAudioEngine*>(userData);
    std::unique_lock lock(engine.tapMutex_, std::try_to_lock);
    if (!lock || engine.stopped_ || !engine.tap_ || !input) return paContinue;
    engine.tap_(AudioPcmBuffer{static_cast<const float*>(input), static_cast<std::uint32_t>(frames),
                               engine.tapFormat_});
    return paContinue;
  }

  PaDeviceIndex device_ = paNoDevice;
  PaTime lowLatency_ = 0.0;
  std::uint32_t framesPerBuffer_ = 0;
  PaStream* stream_ = nullptr;  // handed to closer_ by stop()
  std::optional<std::string> openError_;
  std::thread closer_;

  std::mutex tapMutex_;  // the callback only ever tries it
  AudioTapBlock tap_;
  AudioFormat tapFormat_;
  bool stopped_ = false;  // written under tapMutex_; ends delivery for good
};

}  // namespace

std::shared_ptr<AudioEngine> PortAudioCapture::makeEngine() { return std::make_shared<PortAudioEngine>(); }

}  // namespace speech_bridge
