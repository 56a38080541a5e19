// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/flite/flite_sample_stream.h"

#include <flite/flite.h>

#include <algorithm>
#include <cstring>

namespace speech_bridge {
namespace {

// Kept of each pause that is left out: the last of the sound dies away in it.
constexpr double kPauseKeptSeconds = 0.02;

// Paths give "0" for a feature an item lacks, where Flite's other accessors
// would raise an error.
double seconds(const cst_item* item, const char* path) { return std::max(0.0f, ffeature_float(item, path)); }
bool isPause(const cst_item* segment) { return std::strcmp(ffeature_string(segment, "name"), "pau") == 0; }

}  // namespace

int FliteSampleStream::receive(const cst_wave* wave, int start, int size, int, cst_audio_streaming_info* info) {
  FliteSampleStream& stream = *static_cast<FliteSampleStream*>(info->userdata);
  const int rate = wave->sample_rate;
  if (start == 0) {
    // The first block of a sentence: the pause that closed the one before
    // is heard now.
    if (!stream.pass(stream.pauseRate_, stream.pause_.data(), stream.pause_.size())) return CST_AUDIO_STREAM_STOP;
    stream.pause_.clear();
    // Flite's accessors take the sentence as changeable; nothing is changed.
    stream.beginSentence(const_cast<cst_utterance*>(info->utt), rate);
  }
  if (size <= 0) return CST_AUDIO_STREAM_CONT;
  const std::size_t end = static_cast<std::size_t>(start) + static_cast<std::size_t>(size);
  const std::size_t from = std::min(end, std::max<std::size_t>(start, stream.leftOutBefore_));
  const std::size_t held = std::max(from, std::min(end, stream.pauseFrom_));
  if (!stream.pass(rate, wave->samples + from, held - from)) return CST_AUDIO_STREAM_STOP;
  stream.pause_.insert(stream.pause_.end(), wave->samples + held, wave->samples + end);
  stream.pauseRate_ = rate;
  return CST_AUDIO_STREAM_CONT;
}

void FliteSampleStream::beginSentence(cst_utterance* sentence, int sampleRate) {
  const auto samplesAt = [sampleRate](double at) { return static_cast<std::size_t>(at * sampleRate); };
  const std::size_t kept = samplesAt(kPauseKeptSeconds);
  leftOutBefore_ = 0;
  pauseFrom_ = kNowhere;
  if (sentence && utt_relation_present(sentence, "Segment")) {
    cst_relation* segments = utt_relation(sentence, "Segment");
    const cst_item* first = relation_head(segments);
    const cst_item* last = relation_tail(segments);
    if (firstSentence_ && first && isPause(first)) {
      const std::size_t speech = samplesAt(seconds(first, "end"));
      leftOutBefore_ = speech - std::min(kept, speech);
    }
    if (last && last != first && isPause(last)) pauseFrom_ = samplesAt(seconds(last, "p.end")) + kept;
  }
  firstSentence_ = false;

  if (!blocks_.hearsWords() || !sentence || !utt_relation_present(sentence, "Word")) return;
  // A word starts where the segment before its first one ends.
  for (const cst_item* word = relation_head(utt_relation(sentence, "Word")); word; word = item_next(word)) {
    const std::size_t at = samplesAt(seconds(word, "R:SylStructure.daughter1.daughter1.R:Segment.p.end"));
    blocks_.wordStartsIn(at - std::min(at, leftOutBefore_));
  }
}

bool FliteSampleStream::pass(int sampleRate, const std::int16_t* samples, std::size_t count) {
  passingRate_ = sampleRate;
  return blocks_.pass(samples, count);
}

}  // namespace speech_bridge
