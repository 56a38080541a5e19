// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes, split into chunks in any way and spread over time, as the
// control input of a --listen job that gets permission and reaches capture.
// The job must end with exactly one finishing event and the exit status that
// goes with it, and its whole output must be what a plain model of the
// control lines, the listening deadlines and the recognizer predicts.
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "sim/simulated_platform.h"
#include "support/job_checks.h"
#include "support/scripted_input.h"
#include "support/text_model.h"

using namespace speech_bridge;
using namespace speech_bridge::fuzz;

namespace {

const std::string kClosed = "Listening cancelled: controller input closed";
const std::string kOversized = "Invalid oversized speech control input";
const std::string kCancelled = "Listening cancelled";
const std::string kUnknown = "Unknown speech control command";
const std::string kNoFinal = "Recognition did not produce a final result after listening stopped";

const std::string kReady = R"({"event":"ready","mode":"listen","on_device":true})";
const std::string kPartial = R"({"event":"partial","text":"go"})";
const std::string kFinal = R"({"event":"final","text":"go forward"})";

// The job's own timers, in seconds, all off the input grid (0.1 + 0.4 k).
constexpr double kInterimAfterStart = 1.0;   // the recognizer's interim text, after capture starts
constexpr double kFinalAfterFinish = 0.3;    // its final text, after it is asked to finish
constexpr double kListeningSeconds = 20.0;
constexpr double kFinalResultSeconds = 3.0;
constexpr std::size_t kControlLimit = 4096;

struct Script {
  ScriptedInput input;
  double authorizationAfter;  // 0.2 or 1.0: capture starts at 0.4, 1.2 or 2.0
  double microphoneAfter;
  bool closes;
  int closeStep;
};

Script readScript(const std::uint8_t* data, std::size_t size) {
  Script script{readScriptedInput(data, size), 0, 0, false, 0};
  const std::uint8_t settings = script.input.settings;
  script.authorizationAfter = settings & 2 ? 1.0 : 0.2;
  script.microphoneAfter = settings & 4 ? 1.0 : 0.2;
  script.closes = settings & 1;
  script.closeStep = script.input.lastStep + (settings >> 3 & 3);
  return script;
}

// The job as the control lines, the deadlines and the recognizer's script
// say it goes, one event at a time in order of time.
class Model {
 public:
  explicit Model(const Script& script) {
    for (const ScriptedInput::Piece& piece : script.input.pieces) {
      if (piece.bytes.empty()) continue;  // nothing becomes readable
      at(inputTime(piece.step), [this, bytes = piece.bytes] { chunk(bytes); });
    }
    if (script.closes) at(inputTime(script.closeStep), [this] { fail(kClosed); });
    at(script.authorizationAfter + script.microphoneAfter, [this] { startCapture(); });
    while (!done_ && !events_.empty()) {
      const auto next = events_.begin();
      now_ = next->first;
      const std::function<void()> event = next->second;
      events_.erase(next);
      event();
    }
  }

  std::vector<std::string> lines;
  int exitStatus = -1;
  double endedAt = 0.0;
  bool captured = false;

 private:
  void at(double time, std::function<void()> event) { events_.emplace(time, std::move(event)); }

  void chunk(const std::string& bytes) {
    controls_ += bytes;
    if (controls_.size() > kControlLimit) return fail(kOversized);
    for (std::size_t end; (end = controls_.find('\n')) != std::string::npos;) {
      const ControlLine line = readControlLine(std::string_view(controls_).substr(0, end));
      controls_.erase(0, end + 1);
      if (line == ControlLine::stop) stop();
      if (line == ControlLine::cancel) fail(kCancelled);
      if (line == ControlLine::unknown) fail(kUnknown);
    }
  }

  void startCapture() {
    if (finishing_) return;
    captured = true;
    lines.push_back(kReady);
    at(now_ + kInterimAfterStart, [this] { lines.push_back(kPartial); });
    at(now_ + kListeningSeconds, [this] { stop(); });
  }

  void stop() {
    if (done_ || finishing_) return;
    finishing_ = true;
    if (captured) at(now_ + kFinalAfterFinish, [this] { end(kFinal, 0); });
    at(now_ + kFinalResultSeconds, [this] { fail(kNoFinal); });
  }

  void fail(const std::string& message) { end(errorLine(message), 1); }

  void end(const std::string& line, int status) {
    if (done_) return;
    done_ = true;
    lines.push_back(line);
    exitStatus = status;
    endedAt = now_;
  }

  std::multimap<double, std::function<void()>> events_;  // equal times keep their order
  double now_ = 0.0;
  bool done_ = false;
  bool finishing_ = false;
  std::string controls_;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  makeServiceComplaintsFatal();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Script script = readScript(data, size);

  sim::SimulatedPlatform sim;
  const double start = sim.loop.now();
  sim.recognition.recognizers["en-US"] = true;
  sim.recognition.authorization = sim::AuthorizationAnswer{SpeechAuthorizationStatus::authorized,
                                                           script.authorizationAfter};
  sim.permissions.microphone = sim::MicrophoneAnswer{true, script.microphoneAfter};
  sim.recognition.taskScripts.push_back({sim::interimAnswer(kInterimAfterStart, "go"),
                                         sim::finalAfterFinish(kFinalAfterFinish, "go forward")});
  sim.audioCapture.captureBuffers(8);
  for (const ScriptedInput::Piece& piece : script.input.pieces) {
    sim.streams.feedInputAt(start + inputTime(piece.step), piece.bytes);
  }
  if (script.closes) sim.streams.closeInputAt(start + inputTime(script.closeStep));

  const sim::JobOutcome outcome = sim.runJob({"--listen"});

  checkJobEnding(outcome, {kClosed, kOversized, kCancelled, kUnknown, kNoFinal});
  const Model model(script);
  FUZZ_CHECK(outcome.lines == model.lines);
  FUZZ_CHECK(outcome.exitStatus == model.exitStatus);
  FUZZ_CHECK(outcome.endedAt - start >= model.endedAt - 1e-6 && outcome.endedAt - start <= model.endedAt + 1e-6);
  // Completion detached the channel and cancelled the task it had started.
  FUZZ_CHECK(!sim.streams.readabilityHandlerInstalled());
  FUZZ_CHECK(sim.recognition.tasks.size() == (model.captured ? 1u : 0u));
  FUZZ_CHECK(sim.calls.count("cancel") == (model.captured ? 1 : 0));
  return 0;
}
