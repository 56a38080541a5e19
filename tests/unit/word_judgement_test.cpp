// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pocketsphinx/word_judgement.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace speech_bridge {
namespace {

// Stretches of ten frames each, one after another, scoring so much a frame.
std::vector<PathSegment> path(const std::vector<std::pair<const char*, double>>& stretches) {
  std::vector<PathSegment> segments;
  for (const auto& [word, perFrame] : stretches) {
    const int first = static_cast<int>(segments.size()) * 10;
    segments.push_back({word, first, first + 9, perFrame * 10});
  }
  return segments;
}

// Only the fillers between the first word and the last are judged; the
// competitor fits every frame at -1 a frame.
TEST(InnerFillerShortfall, JudgesOnlyTheFillersBetweenTheWords) {
  const std::vector<PathSegment> phones = path({{"a", -1}, {"b", -1}, {"c", -1}, {"d", -1}, {"e", -1}});
  const auto sixthWest = path({{"<sil>", -5}, {"sixth", -1}, {"<sil>", -4}, {"west", -1}, {"<sil>", -6}});
  EXPECT_EQ(innerFillerShortfall(sixthWest, phones), 3.0);
  EXPECT_EQ(innerFillerShortfall(path({{"sixth", -1}, {"<sil>", -2}, {"[NOISE]", -3.5}, {"west", -1}}), phones), 2.5);
  EXPECT_EQ(innerFillerShortfall(path({{"<sil>", -5}, {"sixth", -4}, {"west", -6}, {"<sil>", -5}}), phones),
            std::nullopt);
  EXPECT_EQ(innerFillerShortfall(path({{"<sil>", -5}, {"[NOISE]", -5}}), phones), std::nullopt);
}

}  // namespace
}  // namespace speech_bridge
