// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pocketsphinx/transcript_text.h"

#include <gtest/gtest.h>

namespace speech_bridge {
namespace {

TEST(ReadableTranscript, DropsMarkersFillersAndPronunciationSuffixes) {
  EXPECT_EQ(readableTranscript("<s> go <sil> forward [NOISE] ++BREATH++ ten(2) meters </s>"), "go forward ten meters");
  EXPECT_EQ(readableTranscript("[SPEECH] ++UH++ <sil>"), "");
  EXPECT_EQ(readableTranscript("read(12) it"), "read it");
}

TEST(ReadableTranscript, JoinsWordsWithSingleSpaces) {
  EXPECT_EQ(readableTranscript("  go \t forward\n ten  "), "go forward ten");
  EXPECT_EQ(readableTranscript(""), "");
}

TEST(ReadableTranscript, KeepsWordsThatOnlyLookOdd) {
  EXPECT_EQ(readableTranscript("i'm o'clock x-ray"), "i'm o'clock x-ray");
  EXPECT_EQ(readableTranscript("(2) word(a) word() +plus+ [half"), "(2) word(a) word() +plus+ [half");
}

TEST(AppendWords, PutsOneSpaceBetweenNonEmptyParts) {
  std::string text;
  appendWords(text, "");
  EXPECT_EQ(text, "");
  appendWords(text, "go forward");
  appendWords(text, "");
  appendWords(text, "ten meters");
  EXPECT_EQ(text, "go forward ten meters");
}

}  // namespace
}  // namespace speech_bridge
