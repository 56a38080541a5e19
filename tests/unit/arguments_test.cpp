// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/arguments.h"

#include <gtest/gtest.h>

namespace speech_bridge {
namespace {

using Args = std::vector<std::string>;

TEST(ValueAfter, AbsentFlagOrFlagLastGivesNothing) {
  EXPECT_EQ(valueAfter({}, "--locale"), std::nullopt);
  EXPECT_EQ(valueAfter(Args{"--listen"}, "--locale"), std::nullopt);
  EXPECT_EQ(valueAfter(Args{"--listen", "--locale"}, "--locale"), std::nullopt);
}

TEST(ValueAfter, FirstOccurrenceWins) {
  EXPECT_EQ(valueAfter(Args{"--speak", "--locale", "de-DE", "--locale", "fr-FR"}, "--locale"), "de-DE");
}

TEST(ValueAfter, ValueIsTakenUnchanged) {
  EXPECT_EQ(valueAfter(Args{"--speak", "--locale", "--voice", "x"}, "--locale"), "--voice");
  EXPECT_EQ(valueAfter(Args{"--speak", "--locale", "--voice", "x"}, "--voice"), "x");
  EXPECT_EQ(valueAfter(Args{"--transcribe-file", ""}, "--transcribe-file"), "");
}

TEST(ValueAfter, ModeWordIsSearchedToo) {
  EXPECT_EQ(valueAfter(Args{"--transcribe-file", "--locale", "en-GB"}, "--transcribe-file"), "--locale");
  EXPECT_EQ(valueAfter(Args{"--transcribe-file", "--locale", "en-GB"}, "--locale"), "en-GB");
}

}  // namespace
}  // namespace speech_bridge
