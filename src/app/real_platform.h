// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include "platform/platform.h"

namespace speech_bridge {

// The services of this machine. Constructing them is cheap: each library
// starts when a job first needs it.
class RealPlatform {
 public:
  RealPlatform();
  ~RealPlatform();

  Platform& platform() { return *platform_; }

 private:
  struct Services;
  std::unique_ptr<Services> services_;
  std::unique_ptr<Platform> platform_;
};

}  // namespace speech_bridge
