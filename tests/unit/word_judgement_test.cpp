// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pocketsphinx/word_judgement.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace speech_bridge {
namespace {

// A path of stretches of ten frames each, one after another, scoring
// `perFrame` a frame.
std::vector<PathSegment> path(const std::vector<std::pair<const char*, double>>& stretches) {
  std::vector<PathSegment> segments;
  int frame = 0;
  for (const auto& [word, perFrame] : stretches) {
    segments.push_back({word, frame, frame + 9, perFrame * 10});
    frame += 10;
  }
  return segments;
}

// Only fillers between the first word and the last are judged, against the
// competitor's frames beneath them; words and the fillers around the
// sentence are not.
TEST(InnerFillerShortfall, JudgesOnlyTheFillersBetweenTheWords) {
  // The competitor fits every frame at -1 a frame.
  const std::vector<PathSegment> phones = path({{"a", -1}, {"b", -1}, {"c", -1}, {"d", -1}, {"e", -1}, {"f", -1}});
  struct Case {
    std::vector<std::pair<const char*, double>> sentence;
    std::optional<double> shortfall;
  };
  const std::vector<Case> cases = {
      {{{"<sil>", -5}, {"sixth", -1}, {"<sil>", -4}, {"west", -1}, {"<sil>", -6}}, 3.0},
      {{{"sixth", -1}, {"<sil>", -2}, {"[NOISE]", -3.5}, {"west", -1}}, 2.5},
      {{{"<sil>", -5}, {"sixth", -4}, {"west", -6}, {"<sil>", -5}}, std::nullopt},
      {{{"<sil>", -5}, {"[NOISE]", -5}}, std::nullopt},
  };
  for (const Case& c : cases) {
    const std::optional<double> shortfall = innerFillerShortfall(path(c.sentence), phones);
    ASSERT_EQ(shortfall.has_value(), c.shortfall.has_value()) << c.sentence.size();
    if (shortfall) {
      EXPECT_NEAR(*shortfall, *c.shortfall, 1e-9);
    }
  }
}

}  // namespace
}  // namespace speech_bridge
