// SPDX-License-Identifier: GPL-3.0-or-later
// Speaks one utterance with the real synthesizer of the engines, Festival,
// Flite and eSpeak NG, as the program would, and tells what the synthesizer
// did. Run by the end-to-end tests with their own sound server.
//
//   synthesis_probe TEXT [VOICE_ID] [STOP_AFTER_SECONDS [word]]
//
// Prints, one per line:
//   stop <milliseconds the stop call took> <callbacks delivered during it>
//   finish <seconds from speakUtterance to the callback>
//   cancel <seconds ...>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "app/real_platform.h"
#include "platform/main_loop.h"
#include "platform/speech_synthesis.h"

namespace {

using speech_bridge::SpeechSynthesizer;
using speech_bridge::SpeechUtterance;

class Delegate final : public speech_bridge::SpeechSynthesizerDelegate {
 public:
  void speechSynthesizerDidFinishSpeechUtterance(SpeechSynthesizer&, const SpeechUtterance&) override {
    ended("finish");
  }
  void speechSynthesizerDidCancelSpeechUtterance(SpeechSynthesizer&, const SpeechUtterance&) override {
    ended("cancel");
  }
  void ended(const char* how) {
    ++callbacks;
    std::printf("%s %.3f\n", how, std::chrono::duration<double>(std::chrono::steady_clock::now() - spokenAt).count());
  }

  std::chrono::steady_clock::time_point spokenAt;
  int callbacks = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  speech_bridge::RealPlatform real;
  speech_bridge::MainLoop& loop = real.platform().loop;
  speech_bridge::SpeechSynthesis& synthesis = real.platform().synthesis;
  std::unique_ptr<SpeechSynthesizer> synthesizer = synthesis.makeSynthesizer();
  auto delegate = std::make_shared<Delegate>();
  synthesizer->setDelegate(delegate);

  auto utterance = std::make_shared<SpeechUtterance>();
  utterance->text = argv[1];
  if (argc > 2 && *argv[2]) {
    utterance->voice = synthesis.voiceWithIdentifier(argv[2]);
    if (!utterance->voice) return 3;
  }
  // As the program does while the text comes in: the engine, the voice and
  // the sound output start before the utterance is handed over.
  synthesis.prepareToSpeak(utterance->voice);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  delegate->spokenAt = std::chrono::steady_clock::now();
  synthesizer->speakUtterance(utterance);
  if (argc > 3) {
    loop.postAfter(std::atof(argv[3]), [&] {
      const auto before = std::chrono::steady_clock::now();
      const bool atWord = argc > 4 && std::string(argv[4]) == "word";
      synthesizer->stopSpeakingAtBoundary(atWord ? speech_bridge::SpeechBoundary::word
                                                 : speech_bridge::SpeechBoundary::immediate);
      const double took = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - before).count();
      std::printf("stop %.3f %d\n", took, delegate->callbacks);
    });
  }
  const double end = loop.now() + 60.0;
  while (delegate->callbacks == 0 && loop.now() < end) {
    loop.runSlice(loop.now() + 0.05, [&] { return delegate->callbacks > 0; });
  }
  std::fflush(stdout);
  std::_Exit(delegate->callbacks == 1 ? 0 : 1);
}
