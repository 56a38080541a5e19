// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/simulated_speech_engine.h"

#include <sstream>

#include "sim/simulated_main_loop.h"

namespace speech_bridge::sim {
namespace {

constexpr double kBlockSeconds = 0.05;

}  // namespace

SimulatedSpeechEngine::SimulatedSpeechEngine(SimulatedMainLoop& loop)
    : loop_(loop), exited_(exitedPromise_.get_future()) {
  loop_.runInBackground([this] { runTasks(); });
}

SimulatedSpeechEngine::~SimulatedSpeechEngine() {
  loop_.changeShared([this] { closing_ = true; });
  exited_.wait();
}

void SimulatedSpeechEngine::runTasks() {
  for (;;) {
    loop_.waitUntil([this](double) { return closing_ || !tasks_.empty(); });
    std::function<void()> task;
    loop_.changeShared([&] {
      if (closing_ || tasks_.empty()) return;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    });
    if (!task) break;
    task();
  }
  exitedPromise_.set_value();
}

void SimulatedSpeechEngine::submit(std::function<void()> task) {
  loop_.changeShared([&] { tasks_.push_back(std::move(task)); });
}

SpeechEngine::VoiceIndex SimulatedSpeechEngine::voiceForLanguage(const std::string& languageTag) {
  for (std::size_t index = 0; index < inventory.size(); ++index) {
    if (inventory[index].language == languageTag) return index;
  }
  return std::nullopt;
}

std::string SimulatedSpeechEngine::voiceName(VoiceIndex voice) const {
  return voice ? inventory.at(*voice).identifier : "default voice";
}

void SimulatedSpeechEngine::record(std::string call) {
  loop_.changeShared([&] { calls_.push_back(std::move(call)); });
}

std::vector<std::string> SimulatedSpeechEngine::calls() const {
  std::vector<std::string> calls;
  loop_.changeShared([&] { calls = calls_; });
  return calls;
}

void SimulatedSpeechEngine::prepare(VoiceIndex voice) { record("prepare(" + voiceName(voice) + ")"); }

bool SimulatedSpeechEngine::speak(VoiceIndex voice, const std::string& text, SpeechOutput& output) {
  record("speak(" + text + ", " + voiceName(voice) + ")");
  if (!voice && !hasDefaultVoice) return false;
  if (!output.open(sampleRate)) return false;
  const auto wordSamples = static_cast<std::size_t>(secondsPerWord * sampleRate);
  const std::vector<std::int16_t> block(static_cast<std::size_t>(kBlockSeconds * sampleRate), 1000);
  std::istringstream words(text);
  std::size_t spoken = 0;
  for (std::string word; words >> word; ++spoken) {
    if (failsAfterWords && spoken == *failsAfterWords) return false;
    output.wordStartsAt(spoken * wordSamples);
    for (std::size_t done = 0; done < wordSamples;) {
      const std::size_t count = std::min(block.size(), wordSamples - done);
      if (!output.write(block.data(), count)) return true;
      done += count;
    }
  }
  return true;
}

}  // namespace speech_bridge::sim
