// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/espeak-ng/espeak_synthesizer.h"

#include <algorithm>
#include <atomic>
#include <future>
#include <mutex>
#include <vector>

#include "platform/espeak-ng/espeak_engine.h"
#include "platform/main_loop.h"
#include "platform/portaudio/portaudio_playback.h"

namespace speech_bridge {

// One utterance on its way through the engine and the device. Shared by the
// main thread (which may stop it), the engine thread (which speaks it) and,
// through the playback, the audio thread.
struct EspeakSynthesizer::Speech {
  explicit Speech(std::shared_ptr<const SpeechUtterance> utterance)
      : utterance(std::move(utterance)), released(releasedPromise.get_future()) {}

  void stop() {
    stopRequested.store(true, std::memory_order_release);
    std::lock_guard lock(mutex);
    if (playback) playback->stop();
  }

  // Lets the word being heard end, then stops. Before any sound, at once.
  void stopAfterWord() {
    std::unique_lock lock(mutex);
    if (!playback) {
      lock.unlock();
      stop();
      return;
    }
    const std::size_t played = playback->samplesPlayed();
    const auto next = std::upper_bound(wordStarts.begin(), wordStarts.end(), played);
    if (next != wordStarts.end()) {
      playback->stopAfter(*next);
    } else if (synthesisEnded) {
      playback->stopAfter(samplesWritten);  // the last word: to its end
    } else {
      stopAtNextWord = true;  // the next start is not synthesized yet
    }
  }

  // On the engine thread, as synthesis goes on.
  void wordStartsAt(std::size_t sample) {
    std::lock_guard lock(mutex);
    wordStarts.push_back(sample);
    if (stopAtNextWord && playback && sample > playback->samplesPlayed()) {
      playback->stopAfter(sample);
      stopAtNextWord = false;
    }
  }
  void synthesisEnds() {
    std::lock_guard lock(mutex);
    synthesisEnded = true;
    if (stopAtNextWord && playback) playback->stopAfter(samplesWritten);
  }

  bool stopped() const { return stopRequested.load(std::memory_order_acquire); }

  const std::shared_ptr<const SpeechUtterance> utterance;
  std::atomic<bool> stopRequested{false};
  std::mutex mutex;
  PortAudioPlayback* playback = nullptr;  // while it plays
  std::vector<std::size_t> wordStarts;    // in samples, ascending
  std::size_t samplesWritten = 0;
  bool synthesisEnded = false;
  bool stopAtNextWord = false;
  std::promise<void> releasedPromise;     // the engine thread is done with it
  std::future<void> released;
};

// What the posted callbacks reach; main thread only. Gone with the synthesizer.
struct EspeakSynthesizer::Callbacks {
  SpeechSynthesizer* synthesizer = nullptr;
  std::weak_ptr<SpeechSynthesizerDelegate> delegate;
  std::vector<std::shared_ptr<Speech>> unfinished;  // handed over, not yet reported
};

namespace {

// eSpeak NG reads text up to its first NUL; U+0000 is valid UTF-8 and must
// not cut the rest of the text off.
std::string textForEngine(const std::string& text) {
  std::string result = text;
  std::replace(result.begin(), result.end(), '\0', ' ');
  return result;
}

// On the engine thread: speaks and plays the utterance; true once every
// sample has been heard.
bool speakOnEngine(EspeakSynthesizer::Speech& speech) {
  if (speech.stopped()) return false;
  EspeakEngine& engine = EspeakEngine::shared();
  if (!engine.startSynthesis()) return false;
  const auto& voice = speech.utterance->voice;
  if (!(voice ? engine.selectVoice(voice->identifier) : engine.selectDefaultVoice())) return false;

  std::unique_ptr<PortAudioPlayback> playback = PortAudioPlayback::open(engine.sampleRate());
  if (!playback) return false;
  {
    std::lock_guard lock(speech.mutex);
    if (speech.stopped()) return false;
    speech.playback = playback.get();
  }
  const bool synthesized = engine.synthesize(
      textForEngine(speech.utterance->text),
      [&](const std::int16_t* samples, std::size_t count) {
        {
          std::lock_guard lock(speech.mutex);
          speech.samplesWritten += count;
        }
        return !speech.stopped() && playback->write(samples, count);
      },
      [&](std::size_t firstSample) { speech.wordStartsAt(firstSample); });
  speech.synthesisEnds();
  if (synthesized && !speech.stopped()) {
    playback->finishWriting();
  } else {
    playback->stop();
  }
  const PortAudioPlayback::Ending ending = playback->waitUntilEnded();
  {
    std::lock_guard lock(speech.mutex);
    speech.playback = nullptr;
  }
  return ending == PortAudioPlayback::Ending::played;
}

}  // namespace

EspeakSynthesizer::EspeakSynthesizer(MainLoop& loop) : loop_(loop), callbacks_(std::make_shared<Callbacks>()) {
  callbacks_->synthesizer = this;
}

EspeakSynthesizer::~EspeakSynthesizer() {
  for (const auto& speech : callbacks_->unfinished) speech->stop();
  for (const auto& speech : callbacks_->unfinished) speech->released.wait();
}

void EspeakSynthesizer::setDelegate(std::weak_ptr<SpeechSynthesizerDelegate> delegate) {
  callbacks_->delegate = std::move(delegate);
}

void EspeakSynthesizer::speakUtterance(std::shared_ptr<const SpeechUtterance> utterance) {
  auto speech = std::make_shared<Speech>(std::move(utterance));
  callbacks_->unfinished.push_back(speech);
  MainLoop& loop = loop_;
  std::weak_ptr<Callbacks> callbacks = callbacks_;
  EspeakEngine::shared().submit([speech, &loop, callbacks] {
    const bool heard = speakOnEngine(*speech);
    // The device is closed by now; the delegate hears of the end on the main
    // thread, never from inside a call into the synthesizer.
    loop.post([speech, callbacks, heard] {
      const auto reachable = callbacks.lock();
      if (!reachable) return;
      auto& unfinished = reachable->unfinished;
      unfinished.erase(std::remove(unfinished.begin(), unfinished.end(), speech), unfinished.end());
      const auto delegate = reachable->delegate.lock();
      if (!delegate) return;
      if (heard) {
        delegate->speechSynthesizerDidFinishSpeechUtterance(*reachable->synthesizer, *speech->utterance);
      } else {
        delegate->speechSynthesizerDidCancelSpeechUtterance(*reachable->synthesizer, *speech->utterance);
      }
    });
    speech->releasedPromise.set_value();
  });
}

void EspeakSynthesizer::stopSpeakingAtBoundary(SpeechBoundary boundary) {
  for (const auto& speech : callbacks_->unfinished) {
    if (boundary == SpeechBoundary::immediate) {
      speech->stop();
    } else {
      speech->stopAfterWord();
    }
  }
}

}  // namespace speech_bridge
