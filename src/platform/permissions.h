// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

namespace speech_bridge {

class Permissions {
 public:
  virtual ~Permissions() = default;

  // Asks for access to the microphone. `completion` is called exactly once,
  // on any thread, possibly from inside this call, with true when access was
  // granted.
  virtual void requestMicrophoneAccess(std::function<void(bool granted)> completion) = 0;
};

}  // namespace speech_bridge
