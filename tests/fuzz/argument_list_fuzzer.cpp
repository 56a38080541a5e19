// SPDX-License-Identifier: GPL-3.0-or-later
// Any argument list, biased toward the program's own words, run as a whole
// job with every simulated service ready to answer. The job must end, on the
// virtual clock, with exactly one finishing event and the exit status that
// goes with it, and its output must be what a plain reading of the command
// line predicts: the mode is the first argument, exactly; a flag's value is
// the argument after its first occurrence; anything else is ignored.
#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "sim/simulated_platform.h"
#include "support/job_checks.h"

using namespace speech_bridge;
using namespace speech_bridge::fuzz;

namespace {

const std::string kUsage = "Usage: --listen | --speak | --voices | --transcribe-file PATH [--locale en-US] [--voice ID]";
const std::string kNoPath = "--transcribe-file requires a local audio path";
const std::string kNoFile = "Audio fixture does not exist";
const std::string kNoRecognizer =
    "On-device speech recognition is unavailable for this locale; no cloud fallback is allowed";
const std::string kNoVoice = "Selected speech voice is unavailable";
const std::string kNoGrammar = "--pronunciations requires --grammar";

// Arguments are the input split at zero bytes. An argument of one byte from
// 0x01 to 0x1F stands for a word of this list: 0x01 for the first, and so on
// round the list.
const std::vector<std::string> kWords = {
    "--listen", "--speak",  "--voices", "--transcribe-file", "--locale",   "--voice",     "en-US",
    "de-DE",    "fr-FR",    "gmw/en-US", "gmw/de",           "a.wav",      "/work/a.wav", "",
    "--LISTEN", "--listen=", "-",       "--",                "dir",        "missing.wav", "en_US",
};

const std::map<std::string, bool> kRecognizers = {{"en-US", true}, {"de-DE", true}, {"fr-FR", false}};
const std::vector<SpeechVoice> kVoices = {{"gmw/en-US", "English (America)", "en-US"}, {"gmw/de", "German", "de-DE"}};
const std::string kVoicesLine =
    R"json({"event":"final","voices":[{"id":"gmw\/en-US","language":"en-US","name":"English (America)"},)json"
    R"json({"id":"gmw\/de","language":"de-DE","name":"German"}]})json";
constexpr const char* kWorkingDirectory = "/work";
const std::vector<std::string> kExistingPaths = {"/work/a.wav", "/work/dir", "/"};
constexpr std::size_t kMostArguments = 64;

// What the services answer, and when (seconds).
constexpr double kAuthorizationAfter = 0.2;
constexpr double kMicrophoneAfter = 0.2;
constexpr double kInterimAfter = 0.5;
constexpr double kFinalAfter = 1.5;
constexpr double kTextClosedAt = 0.3;
constexpr double kSpeakingSeconds = 1.0;
const std::string kText = "Hello there";

std::vector<std::string> readArguments(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> args;
  const std::string input(reinterpret_cast<const char*>(data), size);
  if (input.empty()) return args;
  for (std::size_t start = 0; args.size() < kMostArguments;) {
    const std::size_t end = std::min(input.find('\0', start), input.size());
    std::string argument = input.substr(start, end - start);
    if (argument.size() == 1 && static_cast<unsigned char>(argument[0]) < 0x20) {
      argument = kWords[(static_cast<unsigned char>(argument[0]) - 1u) % kWords.size()];
    }
    args.push_back(std::move(argument));
    if (end == input.size()) break;
    start = end + 1;
  }
  return args;
}

std::optional<std::string> valueOf(const std::vector<std::string>& args, const std::string& flag) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == flag) return i + 1 < args.size() ? std::optional(args[i + 1]) : std::nullopt;
  }
  return std::nullopt;
}

struct Expected {
  std::vector<std::string> lines;
  int exitStatus = 1;
  double endedAt = 0.0;
  bool usesRecognition = false;  // asks the recognition service anything
};

Expected recognized(const std::string& mode, double readyAt) {
  return {{R"({"event":"ready","mode":")" + mode + R"(","on_device":true})", R"({"event":"partial","text":"go"})",
           R"({"event":"final","text":"go forward"})"},
          0,
          readyAt + kFinalAfter,
          true};
}

Expected expect(const std::vector<std::string>& args) {
  const auto fail = [](const std::string& message, bool usesRecognition = false) {
    return Expected{{errorLine(message)}, 1, 0.0, usesRecognition};
  };
  const std::string mode = args.empty() ? std::string() : args.front();
  const std::string locale = valueOf(args, "--locale").value_or("en-US");
  const auto recognizer = kRecognizers.find(locale);
  const bool onDevice = recognizer != kRecognizers.end() && recognizer->second;
  const bool pronunciations = std::find(args.begin(), args.end(), "--pronunciations") != args.end();
  if (mode == "--listen") {
    if (pronunciations) return fail(kNoGrammar);
    if (!onDevice) return fail(kNoRecognizer, true);
    return recognized("listen", kAuthorizationAfter + kMicrophoneAfter);
  }
  if (mode == "--transcribe-file") {
    const std::optional<std::string> path = valueOf(args, "--transcribe-file");
    if (!path) return fail(kNoPath);
    if (pronunciations) return fail(kNoGrammar);
    const std::string file = !path->empty() && path->front() == '/' ? *path : kWorkingDirectory + ("/" + *path);
    if (std::find(kExistingPaths.begin(), kExistingPaths.end(), file) == kExistingPaths.end()) return fail(kNoFile);
    if (!onDevice) return fail(kNoRecognizer, true);
    return recognized("transcribe-file", kAuthorizationAfter);
  }
  if (mode == "--speak") {
    const std::optional<std::string> voice = valueOf(args, "--voice");
    const auto named = [&](const SpeechVoice& known) { return known.identifier == *voice; };
    if (voice && std::none_of(kVoices.begin(), kVoices.end(), named)) {
      Expected expected = fail(kNoVoice);
      expected.endedAt = kTextClosedAt;
      return expected;
    }
    return {{R"({"event":"ready","mode":"speak"})", R"({"event":"final","mode":"speak"})"},
            0,
            kTextClosedAt + kSpeakingSeconds,
            false};
  }
  if (mode == "--voices") return {{kVoicesLine}, 0, 0.0, false};
  return fail(kUsage);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  makeServiceComplaintsFatal();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string> args = readArguments(data, size);
  // The grammar and stop-on-silence options have their own checks (their
  // option tests and the grammar file target); the expectations here model
  // the other arguments only.
  for (const char* own : {"--grammar", "--stop-on-silence"}) {
    if (std::find(args.begin(), args.end(), own) != args.end()) return 0;
  }
  const Expected expected = expect(args);

  sim::SimulatedPlatform sim;
  const double start = sim.loop.now();
  sim.recognition.recognizers = kRecognizers;
  sim.recognition.authorization = sim::AuthorizationAnswer{SpeechAuthorizationStatus::authorized, kAuthorizationAfter};
  sim.permissions.microphone = sim::MicrophoneAnswer{true, kMicrophoneAfter};
  sim.recognition.taskScripts.push_back({sim::interimAnswer(kInterimAfter, "go"), sim::finalAnswer(kFinalAfter, "go forward")});
  sim.audioCapture.captureBuffers(4);
  sim.files.workingDirectory = kWorkingDirectory;
  sim.files.existingPaths.insert(kExistingPaths.begin(), kExistingPaths.end());
  sim.synthesis.voices = kVoices;
  sim.synthesis.scripts.push_back(sim::UtteranceScript::finishesAfter(kSpeakingSeconds));
  // A host writes the text to speak only to --speak; the others get input that stays open.
  if (!args.empty() && args.front() == "--speak") {
    sim.streams.feedInputAt(start + kTextClosedAt, kText);
    sim.streams.closeInputAt(start + kTextClosedAt);
  }

  const sim::JobOutcome outcome = sim.runJob(args);

  checkJobEnding(outcome, {kUsage, kNoPath, kNoFile, kNoRecognizer, kNoVoice, kNoGrammar});
  FUZZ_CHECK(outcome.lines == expected.lines);
  FUZZ_CHECK(outcome.exitStatus == expected.exitStatus);
  FUZZ_CHECK(outcome.endedAt - start >= expected.endedAt - 1e-6 &&
             outcome.endedAt - start <= expected.endedAt + 1e-6);
  // Only the recognition modes reach the recognition service, and only past the checks made before it.
  FUZZ_CHECK(sim.calls.calls().empty() == !expected.usesRecognition);
  if (sim.synthesis.scripts.size() == 1) sim.synthesis.scripts.clear();  // --speak was not asked to speak
  return 0;
}
