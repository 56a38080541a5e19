// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/permissions.h"

namespace speech_bridge {

// Linux has no permission gate for the microphone: access is always granted,
// answered from inside the request, which the interface allows.
class UngatedPermissions final : public Permissions {
 public:
  void requestMicrophoneAccess(std::function<void(bool granted)> completion) override;
};

}  // namespace speech_bridge
