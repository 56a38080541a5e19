// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace speech_bridge {

// One stretch of a best path: a word, or a silence or noise filler, and the
// frames it took, first and last inclusive, with its acoustic score in
// natural log.
struct PathSegment {
  std::string word;
  int first = 0;
  int last = 0;
  double sounds = 0.0;
};

// How a grammar's best sentence fares, stretch by stretch, against an
// unconstrained competitor's best path over the same frames.
struct StretchVerdict {
  std::size_t weakest = 0;  // index of the stretch that fell shortest
  // How far that stretch fell short, in natural log per frame, counting at
  // least kMinJudgedFrames frames: a stretch of two frames cannot swing the
  // verdict on its own.
  double weakestShortfall = 0.0;
  // Every stretch's shortfall, where it fell short, spread over the whole
  // sentence's frames.
  double meanShortfall = 0.0;
};

inline constexpr int kMinJudgedFrames = 8;

// Judges each stretch of `sentence` against `competitor`'s score over the
// same frames, taken from the competitor's stretches in proportion to how
// many of their frames fall inside. Every stretch counts, fillers too:
// speech that the sentence does not cover hides in its fillers. Nothing when
// either path is empty.
std::optional<StretchVerdict> judgeStretches(const std::vector<PathSegment>& sentence,
                                             const std::vector<PathSegment>& competitor);

// How far the fillers between the sentence's first word and its last fall
// short of `competitor`, per frame as judgeStretches() counts it: the most of
// them. Nothing when there are none.
std::optional<double> innerFillerShortfall(const std::vector<PathSegment>& sentence,
                                           const std::vector<PathSegment>& competitor);

}  // namespace speech_bridge
