// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/simulated_platform.h"

#include "app/process.h"
#include "bridge/speech_bridge.h"

namespace speech_bridge::sim {

SimulatedPlatform::SimulatedPlatform() {
  synthesis.linesWritten = [this] { return streams.outputLines().size(); };
}

SimulatedPlatform::~SimulatedPlatform() {
  streams.shutDown();
  loop.joinBackground();
}

JobOutcome SimulatedPlatform::runJob(std::vector<std::string> args) {
  JobOutcome outcome;
  outcome.startedAt = loop.now();
  const int slicesBefore = loop.slicesRun();
  process_ = std::make_unique<Process>(platform);
  outcome.exitStatus = runProcess(*process_, std::move(args));
  outcome.endedAt = loop.now();
  outcome.slices = loop.slicesRun() - slicesBefore;
  outcome.lines = streams.outputLines();
  return outcome;
}

}  // namespace speech_bridge::sim
