// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace speech_bridge::sim {

// What the job asked of the simulated services, in order, one entry per call,
// such as "recognizerForLocale en-US" or "cancel". Shared by every fake so a
// test can assert the order across services.
class CallLog {
 public:
  void record(std::string call) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
  }

  std::vector<std::string> calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }

  // How often `call` was made.
  int count(const std::string& call) const {
    std::lock_guard lock(mutex_);
    int n = 0;
    for (const std::string& made : calls_) n += made == call ? 1 : 0;
    return n;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> calls_;
};

}  // namespace speech_bridge::sim
