// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/audio/echo_cancelling_filter.h"

#include <algorithm>

namespace speech_bridge {

EchoCancellingFilter::EchoCancellingFilter(std::unique_ptr<EchoCanceller> canceller)
    : canceller_(std::move(canceller)), frameLength_(std::max<std::size_t>(canceller_->frameLength(), 1)) {
  // Reserved once: the audio thread does not allocate.
  reference_.reserve(frameLength_);
  microphone_.reserve(frameLength_);
}

void EchoCancellingFilter::addReference(const float* samples, std::size_t count) {
  inFrames(reference_, samples, count, [this](float* frame) {
    canceller_->addReference(frame);
    framesSinceReference_ = 0;
  });
}

void EchoCancellingFilter::filterMicrophone(const float* samples, std::size_t count, const Delivery& deliver) {
  inFrames(microphone_, samples, count, [&](float* frame) {
    if (framesSinceReference_ <= kLateReferenceFrames) {
      canceller_->cancel(frame, delayHint_);
      ++framesSinceReference_;
    } else {
      ++uncancelled_;
    }
    deliver(frame, static_cast<std::uint32_t>(frameLength_));
  });
}

}  // namespace speech_bridge
