// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pocketsphinx/word_judgement.h"

#include <algorithm>

#include "platform/pocketsphinx/transcript_text.h"

namespace speech_bridge {
namespace {

// The competitor's score over frames first..last. Its stretches are in
// frame order, as a best path's are.
double competitorSounds(const std::vector<PathSegment>& competitor, int first, int last) {
  double sum = 0.0;
  for (const PathSegment& stretch : competitor) {
    if (stretch.last < first) continue;
    if (stretch.first > last) break;
    const int overlap = std::min(last, stretch.last) - std::max(first, stretch.first) + 1;
    sum += stretch.sounds * overlap / (stretch.last - stretch.first + 1);
  }
  return sum;
}

}  // namespace

std::optional<StretchVerdict> judgeStretches(const std::vector<PathSegment>& sentence,
                                             const std::vector<PathSegment>& competitor) {
  if (sentence.empty() || competitor.empty()) return std::nullopt;
  std::optional<StretchVerdict> verdict;
  double shortfalls = 0.0;
  int frames = 0;
  for (std::size_t i = 0; i < sentence.size(); ++i) {
    const PathSegment& stretch = sentence[i];
    if (stretch.last < stretch.first) continue;
    const int length = stretch.last - stretch.first + 1;
    const double shortfall = competitorSounds(competitor, stretch.first, stretch.last) - stretch.sounds;
    const double perFrame = shortfall / std::max(length, kMinJudgedFrames);
    frames += length;
    shortfalls += std::max(0.0, perFrame) * std::max(length, kMinJudgedFrames);
    if (!verdict || perFrame > verdict->weakestShortfall) verdict = StretchVerdict{i, perFrame, 0.0};
  }
  if (verdict) verdict->meanShortfall = shortfalls / frames;
  return verdict;
}

std::optional<double> innerFillerShortfall(const std::vector<PathSegment>& sentence,
                                           const std::vector<PathSegment>& competitor) {
  const auto isWord = [](const PathSegment& stretch) { return !isFiller(stretch.word); };
  const auto first = std::find_if(sentence.begin(), sentence.end(), isWord);
  if (first == sentence.end()) return std::nullopt;
  const auto last = std::find_if(sentence.rbegin(), sentence.rend(), isWord).base();
  std::optional<double> most;
  for (auto stretch = first; stretch != last; ++stretch) {
    if (isWord(*stretch)) continue;
    const std::optional<StretchVerdict> verdict = judgeStretches({*stretch}, competitor);
    if (verdict && (!most || verdict->weakestShortfall > *most)) most = verdict->weakestShortfall;
  }
  return most;
}

}  // namespace speech_bridge
