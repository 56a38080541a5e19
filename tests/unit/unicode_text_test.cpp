// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/unicode_text.h"

#include <gtest/gtest.h>

namespace speech_bridge {
namespace {

std::string repeat(const std::string& piece, int times) {
  std::string result;
  for (int i = 0; i < times; ++i) result += piece;
  return result;
}

TEST(UnicodeText, GraphemeClustersAreUserPerceivedCharacters) {
  EXPECT_EQ(graphemeClusterCount(""), 0u);
  EXPECT_EQ(graphemeClusterCount("abc"), 3u);
  EXPECT_EQ(graphemeClusterCount("\r\n"), 1u);
  EXPECT_EQ(graphemeClusterCount("e\xCC\x81"), 1u);                   // e + combining acute
  EXPECT_EQ(graphemeClusterCount("👩‍🚀"), 1u);                           // ZWJ sequence
  EXPECT_EQ(graphemeClusterCount("🇩🇪🇫🇷"), 2u);                       // two flags
  EXPECT_EQ(graphemeClusterCount(repeat("e\xCC\x81", 2000)), 2000u);  // 4000 code points
  EXPECT_EQ(graphemeClusterCount(repeat("日", 2001)), 2001u);
}

TEST(UnicodeText, WellFormedUtf8) {
  EXPECT_TRUE(isWellFormedUtf8(""));
  EXPECT_TRUE(isWellFormedUtf8("plain, Café, 日本, 🚀"));
  EXPECT_FALSE(isWellFormedUtf8("\xff"));
  EXPECT_FALSE(isWellFormedUtf8("\xc0\xaf"));          // overlong "/"
  EXPECT_FALSE(isWellFormedUtf8("\xed\xa0\x80"));      // surrogate
  EXPECT_FALSE(isWellFormedUtf8("\xf4\x90\x80\x80"));  // above U+10FFFF
  EXPECT_FALSE(isWellFormedUtf8("\xe6\x97"));          // cut short
  EXPECT_TRUE(isWellFormedUtf8("\xef\xbf\xbe\xf4\x8f\xbf\xbf"));  // noncharacters are still text
}

TEST(UnicodeText, DecodingReplacesEachMaximalIllFormedPart) {
  const std::string fffd = "\xEF\xBF\xBD";
  EXPECT_EQ(decodeUtf8WithReplacement("stop"), "stop");
  EXPECT_EQ(decodeUtf8WithReplacement("\xff"), fffd);
  EXPECT_EQ(decodeUtf8WithReplacement("a\xe6\x97" "b"), "a" + fffd + "b");
  EXPECT_EQ(decodeUtf8WithReplacement("\xc0\xaf"), fffd + fffd);
  EXPECT_EQ(decodeUtf8WithReplacement("\xed\xa0\x80"), fffd + fffd + fffd);
  EXPECT_EQ(decodeUtf8WithReplacement("\xf0\x9f\x9a" "a"), fffd + "a");  // a cut emoji is one part
  EXPECT_EQ(decodeUtf8WithReplacement("\xe0\x80\xaf"), fffd + fffd + fffd);
  EXPECT_EQ(decodeUtf8WithReplacement("\xf4\x8f\xbf\x41"), fffd + "A");
  EXPECT_EQ(decodeUtf8WithReplacement(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(UnicodeText, TrimmingRemovesWhitespaceAndNewlinesAtBothEnds) {
  EXPECT_EQ(trimWhitespaceAndNewlines("  stop\t"), "stop");
  EXPECT_EQ(trimWhitespaceAndNewlines("stop\r"), "stop");
  EXPECT_EQ(trimWhitespaceAndNewlines("\x0b\x0c stop now \xc2\x85"), "stop now");
  EXPECT_EQ(trimWhitespaceAndNewlines("\xc2\xa0stop\xe2\x80\xa8\xe3\x80\x80"), "stop");  // NBSP, LS, ideographic
  EXPECT_EQ(trimWhitespaceAndNewlines(" \n\t "), "");
  // Zero-width space is a format character, not whitespace.
  EXPECT_EQ(trimWhitespaceAndNewlines("\xe2\x80\x8bstop"), "\xe2\x80\x8bstop");
}

TEST(UnicodeText, CanonicalEquivalenceComparesComposedForms) {
  EXPECT_TRUE(canonicallyEquivalent("Caf\xc3\xa9", "Cafe\xcc\x81"));
  EXPECT_TRUE(canonicallyEquivalent("", ""));
  EXPECT_FALSE(canonicallyEquivalent("Cafe", "Caf\xc3\xa9"));
  EXPECT_FALSE(canonicallyEquivalent("A", "AB"));
  EXPECT_FALSE(canonicallyEquivalent("\xef\xac\x81", "fi"));  // compatibility only
}

}  // namespace
}  // namespace speech_bridge
