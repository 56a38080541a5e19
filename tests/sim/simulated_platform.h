// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "sim/call_log.h"
#include "sim/simulated_audio_capture.h"
#include "sim/simulated_file_system.h"
#include "sim/simulated_main_loop.h"
#include "sim/simulated_permissions.h"
#include "sim/simulated_property_list.h"
#include "sim/simulated_recognition.h"
#include "sim/simulated_standard_streams.h"
#include "sim/simulated_synthesis.h"

namespace speech_bridge {
struct Process;
}

namespace speech_bridge::sim {

struct JobOutcome {
  std::vector<std::string> lines;  // standard output, split at line feeds
  int exitStatus = -1;
  double startedAt = 0.0;  // virtual seconds
  double endedAt = 0.0;    // when the process would exit
  int slices = 0;          // run-loop slices the wait loop ran
};

// Every service simulated, on one virtual clock. One instance runs one job.
class SimulatedPlatform {
 public:
  SimulatedPlatform();
  ~SimulatedPlatform();

  // Runs the whole job for `args` (without the program path) in-process. The
  // job's bridge stays alive afterwards, as in the real process, so a test can
  // run the loop further and see that late answers change nothing.
  JobOutcome runJob(std::vector<std::string> args);

  SimulatedMainLoop loop;
  SimulatedStandardStreams streams{loop};
  SimulatedFileSystem files;
  SimulatedPropertyList infoDictionary;
  CallLog calls;
  SimulatedPermissions permissions{loop, calls};
  SimulatedRecognitionService recognition{loop, calls};
  SimulatedAudioCapture audioCapture{loop, calls};
  SimulatedSynthesis synthesis{loop};

  Platform platform{loop, streams, files, infoDictionary, permissions, recognition, audioCapture, synthesis};

 private:
  std::unique_ptr<Process> process_;
};

}  // namespace speech_bridge::sim
