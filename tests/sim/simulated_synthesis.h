// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/speech_synthesis.h"

namespace speech_bridge::sim {

class SimulatedMainLoop;

// How the synthesizer will end one utterance, counted on the virtual clock
// from its speakUtterance().
struct UtteranceScript {
  enum class Ending { finishes, isCancelled, neverEnds };
  Ending ending = Ending::finishes;
  double afterSeconds = 0.0;

  static UtteranceScript finishesAfter(double seconds) { return {Ending::finishes, seconds}; }
  static UtteranceScript cancelledAfter(double seconds) { return {Ending::isCancelled, seconds}; }
  static UtteranceScript neverEnds() { return {Ending::neverEnds, 0.0}; }
};

// A voice inventory given by the test, and synthesizers that speak on the
// virtual clock as scripted, record every call, and deliver their callbacks
// as tasks of the main loop. An utterance without a script, or a call that
// no synthesizer should receive, fails the test.
class SimulatedSynthesis final : public SpeechSynthesis {
 public:
  explicit SimulatedSynthesis(SimulatedMainLoop& loop) : loop_(loop) {}
  // A script left unused means an utterance the test expected never came.
  ~SimulatedSynthesis() override;

  // The inventory. voiceWithLanguage() finds the first voice whose language
  // equals the tag exactly.
  std::vector<SpeechVoice> voices;

  // One script per utterance, used in the order the utterances arrive.
  std::deque<UtteranceScript> scripts;
  // How long after an immediate stop the cancel callback comes.
  double cancelDelayAfterStop = 0.01;

  // Every call to a synthesizer, in order, with the virtual time and the
  // number of lines written to standard output before it (set
  // `linesWritten` to count them), e.g. "speakUtterance(Hello, gmw/en-US)",
  // "speakUtterance(Hello, default voice)", "stopSpeakingAtBoundary(immediate)".
  struct Call {
    std::string description;
    double at = 0.0;
    std::size_t linesBefore = 0;
  };
  std::vector<Call> calls;
  std::vector<std::string> callDescriptions() const;
  std::function<std::size_t()> linesWritten = [] { return std::size_t{0}; };

  // Callbacks delivered, in order: "finish" or "cancel", with their time.
  struct Delivery {
    std::string callback;
    double at = 0.0;
    std::size_t linesBefore = 0;
  };
  std::vector<Delivery> deliveries;

  int synthesizersMade = 0;
  // The voice of every prepareToSpeak(), its identifier or "default voice".
  std::vector<std::string> preparations;

  std::unique_ptr<SpeechSynthesizer> makeSynthesizer() override;
  std::vector<SpeechVoice> speechVoices() override { return voices; }
  std::optional<SpeechVoice> voiceWithIdentifier(const std::string& identifier) override;
  std::optional<SpeechVoice> voiceWithLanguage(const std::string& languageTag) override;
  void prepareToSpeak(const std::optional<SpeechVoice>& voice) override {
    preparations.push_back(voice ? voice->identifier : "default voice");
  }

  SimulatedMainLoop& loop() { return loop_; }

 private:
  SimulatedMainLoop& loop_;
};

}  // namespace speech_bridge::sim
