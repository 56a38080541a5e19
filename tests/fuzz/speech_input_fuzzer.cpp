// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes, split in any way and spread over time, as the text of a --speak
// job, with standard input closed, failing or left open, with or without a
// voice, and an utterance that finishes, is cancelled or never ends. The job
// must end with exactly one finishing event and the exit status that goes
// with it, and its whole output must be what a plain model of the reading
// limits and the text checks predicts: the size is judged before the
// encoding, and only complete input counts.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "bridge/unicode_text.h"
#include "fuzz_check.h"
#include "sim/simulated_platform.h"
#include "support/job_checks.h"
#include "support/scripted_input.h"
#include "support/text_model.h"

using namespace speech_bridge;
using namespace speech_bridge::fuzz;

namespace {

const std::string kLate = "Speech input was not completed within 5 seconds";
const std::string kTooLong = "Speech input exceeded 8192 bytes";
const std::string kNotUtf8 = "Speech input must be UTF-8";
const std::string kEmpty = "Speech text is empty";
const std::string kTooManyCharacters = "Speech text exceeded 2000 characters";
const std::string kNoVoice = "Selected speech voice is unavailable";
const std::string kPlaybackCancelled = "Speech playback cancelled";
const std::string kPlaybackTooLong = "Speech playback exceeded 60 seconds";

const std::string kReady = R"({"event":"ready","mode":"speak"})";
const std::string kFinal = R"({"event":"final","mode":"speak"})";

// Off the input grid (0.1 + 0.4 k), so that input never arrives at the very
// moment a limit is due.
constexpr double kInputSeconds = 5.0;
constexpr double kPlaybackSeconds = 60.0;
constexpr double kSpeakingSeconds = 1.0;
constexpr std::size_t kLargestInput = 8192;
constexpr std::size_t kLongestText = 2000;

enum class InputEnd { open, closed, readError };
enum class Voice { none, available, unknown };

struct Script {
  ScriptedInput input;
  InputEnd end;
  int endStep;
  Voice voice;
  sim::UtteranceScript utterance;
};

Script readScript(const std::uint8_t* data, std::size_t size) {
  Script script{readScriptedInput(data, size), InputEnd::open, 0, Voice::none, {}};
  const std::uint8_t settings = script.input.settings;
  static constexpr InputEnd kEnds[] = {InputEnd::open, InputEnd::closed, InputEnd::readError, InputEnd::closed};
  static constexpr Voice kVoices[] = {Voice::none, Voice::available, Voice::unknown, Voice::none};
  script.end = kEnds[settings & 3];
  script.endStep = script.input.lastStep + (settings >> 2 & 3);
  script.voice = kVoices[settings >> 4 & 3];
  switch (settings >> 6) {
    case 1: script.utterance = sim::UtteranceScript::cancelledAfter(kSpeakingSeconds); break;
    case 2: script.utterance = sim::UtteranceScript::neverEnds(); break;
    default: script.utterance = sim::UtteranceScript::finishesAfter(kSpeakingSeconds); break;
  }
  return script;
}

struct Expected {
  std::vector<std::string> lines;
  int exitStatus = 1;
  double endedAt = 0.0;
  std::optional<std::string> spoken;  // the text handed to the synthesizer
};

// Characters of a text that is well-formed UTF-8. Texts of up to 2000 bytes
// cannot have more than 2000; ASCII is counted here; the rest is left to the
// program's own count, which has tests of its own.
bool charactersBeyondLimit(const std::string& text) {
  if (text.size() <= kLongestText) return false;
  if (isAscii(text)) return asciiCharacterCount(text) > kLongestText;
  return graphemeClusterCount(text) > kLongestText;
}

Expected expect(const Script& script) {
  Expected expected;
  // The reader hands over what it holds once it has one byte too many or
  // meets the end of input; a read error or input left open hands nothing.
  std::string read;
  std::optional<double> handedOverAt;
  for (const ScriptedInput::Piece& piece : script.input.pieces) {
    read += piece.bytes;
    if (read.size() > kLargestInput) {
      read.resize(kLargestInput + 1);
      handedOverAt = inputTime(piece.step);
      break;
    }
  }
  if (!handedOverAt && script.end == InputEnd::closed) handedOverAt = inputTime(script.endStep);

  const auto fail = [&](const std::string& message, double at) {
    expected.lines.push_back(errorLine(message));
    expected.exitStatus = 1;
    expected.endedAt = at;
    return expected;
  };
  if (!handedOverAt || *handedOverAt > kInputSeconds) return fail(kLate, kInputSeconds);
  const double at = *handedOverAt;
  if (read.size() > kLargestInput) return fail(kTooLong, at);
  const std::optional<std::u32string> text = decodeStrictUtf8(read);
  if (!text) return fail(kNotUtf8, at);
  if (trimmed(*text).empty()) return fail(kEmpty, at);
  if (charactersBeyondLimit(read)) return fail(kTooManyCharacters, at);
  if (script.voice == Voice::unknown) return fail(kNoVoice, at);

  expected.spoken = read;
  expected.lines.push_back(kReady);
  switch (script.utterance.ending) {
    case sim::UtteranceScript::Ending::finishes:
      expected.lines.push_back(kFinal);
      expected.exitStatus = 0;
      expected.endedAt = at + kSpeakingSeconds;
      return expected;
    case sim::UtteranceScript::Ending::isCancelled:
      return fail(kPlaybackCancelled, at + kSpeakingSeconds);
    case sim::UtteranceScript::Ending::neverEnds:
      return fail(kPlaybackTooLong, at + kPlaybackSeconds);
  }
  return expected;
}

std::vector<std::string> spokenTexts(const sim::SimulatedSynthesis& synthesis) {
  std::vector<std::string> spoken;
  for (const std::string& call : synthesis.callDescriptions()) {
    if (call.rfind("speakUtterance(", 0) == 0) spoken.push_back(call);
  }
  return spoken;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  makeServiceComplaintsFatal();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Script script = readScript(data, size);
  const Expected expected = expect(script);

  sim::SimulatedPlatform sim;
  const double start = sim.loop.now();
  sim.synthesis.voices = {{"gmw/en-US", "English (America)", "en-US"}, {"gmw/de", "German", "de-DE"}};
  sim.synthesis.scripts.push_back(script.utterance);
  for (const ScriptedInput::Piece& piece : script.input.pieces) {
    sim.streams.feedInputAt(start + inputTime(piece.step), piece.bytes);
  }
  if (script.end == InputEnd::closed) sim.streams.closeInputAt(start + inputTime(script.endStep));
  if (script.end == InputEnd::readError) sim.streams.failInputAt(start + inputTime(script.endStep));
  std::vector<std::string> args = {"--speak"};
  if (script.voice == Voice::available) args.insert(args.end(), {"--voice", "gmw/en-US"});
  if (script.voice == Voice::unknown) args.insert(args.end(), {"--voice", "gmw/nowhere"});

  const sim::JobOutcome outcome = sim.runJob(args);

  checkJobEnding(outcome, {kLate, kTooLong, kNotUtf8, kEmpty, kTooManyCharacters, kNoVoice, kPlaybackCancelled,
                           kPlaybackTooLong});
  FUZZ_CHECK(outcome.lines == expected.lines);
  FUZZ_CHECK(outcome.exitStatus == expected.exitStatus);
  FUZZ_CHECK(outcome.endedAt - start >= expected.endedAt - 1e-6 &&
             outcome.endedAt - start <= expected.endedAt + 1e-6);
  // The text is spoken exactly as it came, with the voice of the locale when none is named.
  const std::vector<std::string> spoken = spokenTexts(sim.synthesis);
  if (expected.spoken) {
    FUZZ_CHECK(spoken == std::vector<std::string>{"speakUtterance(" + *expected.spoken + ", gmw/en-US)"});
  } else {
    FUZZ_CHECK(spoken.empty());
    sim.synthesis.scripts.clear();  // no utterance was due
  }
  // Standard input is read in bounded pieces.
  for (const std::size_t size : sim.streams.readSizes()) FUZZ_CHECK(size >= 1 && size <= 1024);
  return 0;
}
