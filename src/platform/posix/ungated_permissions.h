// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/permissions.h"

namespace speech_bridge {

// Linux has no permission gate for the microphone: access is always granted,
// answered from another thread as a gated platform would.
class UngatedPermissions final : public Permissions {
 public:
  void requestMicrophoneAccess(std::function<void(bool granted)> completion) override;
};

}  // namespace speech_bridge
