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
  while (count > 0) {
    const std::size_t taken = std::min(count, frameLength_ - reference_.size());
    reference_.insert(reference_.end(), samples, samples + taken);
    samples += taken;
    count -= taken;
    if (reference_.size() < frameLength_) return;
    canceller_->addReference(reference_.data());
    reference_.clear();
    framesSinceReference_ = 0;
  }
}

void EchoCancellingFilter::filterMicrophone(const float* samples, std::size_t count, const Delivery& deliver) {
  while (count > 0) {
    const std::size_t taken = std::min(count, frameLength_ - microphone_.size());
    microphone_.insert(microphone_.end(), samples, samples + taken);
    samples += taken;
    count -= taken;
    if (microphone_.size() < frameLength_) return;
    if (framesSinceReference_ <= kLateReferenceFrames) {
      canceller_->cancel(microphone_.data(), delayHint_);
    } else {
      ++uncancelled_;
    }
    if (framesSinceReference_ <= kLateReferenceFrames) ++framesSinceReference_;
    deliver(microphone_.data(), static_cast<std::uint32_t>(frameLength_));
    microphone_.clear();
  }
}

}  // namespace speech_bridge
