// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/process.h"

#include <algorithm>

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

void dispatchMode(Process& process) {
  SpeechBridge& bridge = *process.bridge;
  const std::string mode = process.args.empty() ? std::string() : process.args.front();
  if (mode == "--listen") {
    if (takeGrammar(process)) bridge.listen(process.locale);
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
