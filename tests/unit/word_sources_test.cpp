// SPDX-License-Identifier: GPL-3.0-or-later
// Where a grammar's words get their sounds, in pure logic: numbers said as
// words, words written in capitals, and the host's pronunciation file as
// it is read.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "grammar/grammar_file.h"
#include "grammar/number_words.h"
#include "grammar/pronunciation_file.h"

namespace speech_bridge {
namespace {

using Words = std::vector<std::string>;

constexpr const char* kPhones =
    "AA AE AH AO AW AY B CH D DH EH ER EY F G HH IH IY JH K L M N NG OW OY P R S SH T TH "
    "UH UW V W Y Z ZH";

TEST(NumberWords, DigitsAreSaidAsTheEnglishNumber) {
  const std::vector<std::pair<std::string, std::optional<Words>>> cases = {
      {"0", Words{"zero"}},
      {"3", Words{"three"}},
      {"13", Words{"thirteen"}},
      {"42", Words{"forty", "two"}},
      {"100", Words{"one", "hundred"}},
      {"1024", Words{"one", "thousand", "twenty", "four"}},
      {"20000", Words{"twenty", "thousand"}},
      {"999999", Words{"nine", "hundred", "ninety", "nine", "thousand", "nine", "hundred", "ninety", "nine"}},
      {"007", Words{"zero", "zero", "seven"}},
      {"1000000", Words{"one", "zero", "zero", "zero", "zero", "zero", "zero"}},
      {"", std::nullopt},
      {"4a", std::nullopt},
      {"-3", std::nullopt},
  };
  for (const auto& [token, words] : cases) EXPECT_EQ(numberWords(token), words) << token;
}

// The graph has every word in lower case, and knows which ones the grammar
// wrote in capitals somewhere; "FTL" and "Ftl" are one word.
TEST(WrittenInCapitals, TheGraphKeepsWhichWordsWereCapitals) {
  for (const std::string& text :
       {std::string("#JSGF V1.0;\ngrammar g;\npublic <a> = engage (FTL | Ftl drive | \"NASA B-52\") [É];\n"),
        std::string("engage FTL\nFtl drive\nengage NASA B-52 É\n")}) {
    auto compiled = compileGrammarText(text);
    ASSERT_TRUE(std::holds_alternative<GrammarGraph>(compiled)) << std::get<GrammarProblem>(compiled).description;
    const GrammarGraph& graph = std::get<GrammarGraph>(compiled);
    EXPECT_EQ(graph.words, (Words{"engage", "ftl", "drive", "nasa", "b-52", "é"})) << text;
    EXPECT_EQ(graph.writtenInCapitals, (std::unordered_set<std::string>{"ftl", "nasa", "b-52", "é"})) << text;
  }
}

// Phones in any case and with stress, words for "sounds like", comments,
// blank lines and a byte order mark.
TEST(PronunciationFile, EntriesAreReadInTheFilesOrder) {
  const std::string text =
      "\xEF\xBB\xBF# the fleet's names\n"
      "Kestrel  k eh1 s t r ax0 l\r\n"
      "\n"
      "kestrel K EH S T R AH L\n"
      "xqor zook or\n"
      "ftl\tF T L\n"
      " # not a comment\n";
  const auto parsed = parsePronunciations(text, kPhones);
  ASSERT_TRUE(std::holds_alternative<std::vector<HostPronunciation>>(parsed));
  const auto& entries = std::get<std::vector<HostPronunciation>>(parsed);
  ASSERT_EQ(entries.size(), 5u);
  // "ax" is Flite's, not a phone of the set: the line is words.
  const std::vector<std::tuple<std::string, int, bool, Words>> expected = {
      {"kestrel", 2, false, {"k", "eh1", "s", "t", "r", "ax0", "l"}},
      {"kestrel", 4, true, {"K", "EH", "S", "T", "R", "AH", "L"}},
      {"xqor", 5, false, {"zook", "or"}},
      {"ftl", 6, true, {"F", "T", "L"}},
      {"#", 7, false, {"not", "a", "comment"}},
  };
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const auto& [word, line, phones, sounds] = expected[i];
    EXPECT_EQ(entries[i].word, word) << i;
    EXPECT_EQ(entries[i].line, line) << i;
    EXPECT_EQ(entries[i].phones, phones) << i;
    EXPECT_EQ(entries[i].sounds, sounds) << i;
  }
}

}  // namespace
}  // namespace speech_bridge
