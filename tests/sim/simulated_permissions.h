// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

#include "platform/permissions.h"
#include "sim/call_log.h"

namespace speech_bridge::sim {

class SimulatedMainLoop;

// When the microphone question is answered, and how. An unset `granted` means
// the answer never comes.
struct MicrophoneAnswer {
  std::optional<bool> granted;
  double after = 0.0;  // seconds after the request
  bool insideTheCall = false;  // answered at once, from inside the request
};

// The microphone permission, answered as scripted. A request without a
// scripted answer fails the test.
class SimulatedPermissions final : public Permissions {
 public:
  SimulatedPermissions(SimulatedMainLoop& loop, CallLog& calls) : loop_(loop), calls_(calls) {}

  std::optional<MicrophoneAnswer> microphone;

  void requestMicrophoneAccess(std::function<void(bool granted)> completion) override;

 private:
  SimulatedMainLoop& loop_;
  CallLog& calls_;
};

}  // namespace speech_bridge::sim
