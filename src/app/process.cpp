// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/process.h"

#include <algorithm>
#include <charconv>
#include <string_view>

#include "app/arguments.h"
#include "bridge/messages.h"
#include "bridge/speech_bridge.h"
#include "platform/file_system.h"
#include "platform/main_loop.h"
#include "synthesis/speech_input.h"
#include "synthesis/voice_listing.h"

namespace speech_bridge {
namespace {

bool hasFlag(const std::vector<std::string>& args, const char* flag) {
  return std::find(args.begin(), args.end(), flag) != args.end();
}

// --grammar PATH and --pronunciations PATH, for the modes that recognise.
// False when a flag comes without a path, or the pronunciations without a
// grammar: the job has failed.
bool takeGrammar(Process& process) {
  const auto& args = process.args;
  if (!hasFlag(args, "--grammar")) {
    if (hasFlag(args, "--pronunciations")) process.bridge->fail(message::kPronunciationsWithoutGrammar);
    return !hasFlag(args, "--pronunciations");
  }
  const auto path = valueAfter(args, "--grammar");
  if (!path) {
    process.bridge->fail(message::kGrammarPathMissing);
    return false;
  }
  process.bridge->grammarFile = process.platform.files.absolutePath(*path);
  if (!hasFlag(args, "--pronunciations")) return true;
  const auto pronunciations = valueAfter(args, "--pronunciations");
  if (!pronunciations) {
    process.bridge->fail(message::kPronunciationPathMissing);
    return false;
  }
  process.bridge->pronunciationFile = process.platform.files.absolutePath(*pronunciations);
  return true;
}

// A decimal such as "0.6" or "2": digits, and perhaps a point and digits.
std::optional<double> decimal(const std::string& text) {
  const std::size_t point = text.find('.');
  const auto digits = [](std::string_view part) {
    return !part.empty() && part.find_first_not_of("0123456789") == std::string_view::npos;
  };
  if (!digits(std::string_view(text).substr(0, point)) ||
      (point != std::string::npos && !digits(std::string_view(text).substr(point + 1)))) {
    return std::nullopt;
  }
  double value = 0.0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// --stop-on-silence SECONDS, for --listen. False when the value is missing,
// malformed or out of range: the job has failed.
bool takeStopOnSilence(Process& process) {
  const auto& args = process.args;
  if (std::find(args.begin(), args.end(), "--stop-on-silence") == args.end()) return true;
  const auto text = valueAfter(args, "--stop-on-silence");
  const std::optional<double> seconds = text ? decimal(*text) : std::nullopt;
  if (!seconds || *seconds < SpeechBridge::kLeastSilenceSeconds || *seconds > SpeechBridge::kMostSilenceSeconds) {
    process.bridge->fail(message::kStopOnSilenceInvalid);
    return false;
  }
  process.bridge->stopOnSilenceSeconds = *seconds;
  return true;
}

void dispatchMode(Process& process) {
  SpeechBridge& bridge = *process.bridge;
  const std::string mode = process.args.empty() ? std::string() : process.args.front();
  if (mode == "--listen") {
    bridge.cancelEcho = !hasFlag(process.args, "--no-echo-cancel");
    if (takeGrammar(process) && takeStopOnSilence(process)) bridge.listen(process.locale);
  } else if (mode == "--transcribe-file") {
    const auto path = valueAfter(process.args, "--transcribe-file");
    if (!path) {
      bridge.fail(message::kTranscribePathMissing);
      return;
    }
    if (takeGrammar(process)) bridge.transcribe(*path, process.locale);
  } else if (mode == "--speak") {
    startSpeechInput(process);
  } else if (mode == "--voices") {
    listVoices(bridge);
  } else {
    bridge.fail(message::kUsage);
  }
}

}  // namespace

int runProcess(Process& process, std::vector<std::string> args) {
  process.bridge = std::make_shared<SpeechBridge>(process.platform);
  process.args = std::move(args);
  process.locale = valueAfter(process.args, "--locale").value_or("en-US");
  dispatchMode(process);
  return waitForJob(process);
}

int waitForJob(Process& process) {
  MainLoop& loop = process.platform.loop;
  // The monotonic clock, not the wall clock: setting the system clock must
  // neither end a job at once nor let it outlive its deadline.
  process.absoluteDeadline = loop.now() + kOverallDeadlineSeconds;
  SpeechBridge& bridge = *process.bridge;
  while (!bridge.done && loop.now() < process.absoluteDeadline) {
    loop.runSlice(loop.now() + kSliceSeconds, [&bridge] { return bridge.done; });
  }
  if (!bridge.done) bridge.fail(message::kTimedOut);
  return bridge.exitCode;
}

}  // namespace speech_bridge
