// SPDX-License-Identifier: GPL-3.0-or-later
// Which rule gives each word of a grammar its pronunciations, with the real
// en-US dictionary and Flite's CMU lexicon. Needs the pocketsphinx-en-us model.
#include "platform/pocketsphinx/word_pronunciations.h"

#include <gtest/gtest.h>

#include <variant>

#include "grammar/grammar_file.h"
#include "platform/espeak-ng/espeak_word_reader.h"
#include "platform/flite/flite_lexicon.h"
#include "platform/pocketsphinx/speech_model.h"
#include "unit/recording_fixtures.h"

namespace speech_bridge {
namespace {

using Sounds = std::vector<std::pair<std::string, std::string>>;  // entry, phones

class WordPronunciationsTest : public ::testing::Test {
 protected:
  GrammarPronunciations pronounce(const std::string& grammar, const std::optional<std::string>& host = std::nullopt) {
    auto compiled = compileGrammarText(grammar);
    EXPECT_TRUE(std::holds_alternative<GrammarGraph>(compiled));
    std::optional<std::string> file;
    if (host) {
      folder.writeFile("mine.txt", *host);
      file = folder.path("mine.txt");
    }
    return pronounceGrammarWords(*model, std::get<GrammarGraph>(compiled), "/games/fleet.gram", file,
                                 {lexicon, espeak});
  }

  FliteLexicon lexicon;
  EspeakWordReader espeak;

  const std::optional<SpeechModel> model = installedModelForLocale("en-US");
  fixtures::TemporaryFolder folder;
};

TEST_F(WordPronunciationsTest, EachWordFromTheFirstRuleThatHasOne) {
  ASSERT_TRUE(model);
  const GrammarPronunciations words =
      pronounce("go read forward 3 1024 FTL NASA kestrel x-wing B-52 Zéphyrion zeph'ra xqor\n",
                "forward F AO1 R W ER0 D\nforward f er d\nxqor zook or\nunused k ae t\n");
  ASSERT_EQ(words.error, "");
  const std::vector<std::pair<std::string, Sounds>> cases = {
      {"go", {{"go", "G OW"}}},                                               // the dictionary
      {"read", {{"read", "R EH D"}, {"read(2)", "R IY D"}}},                  // with its alternates
      {"forward", {{"forward", "F AO R W ER D"}, {"forward(2)", "F ER D"}}},  // the host's alone
      {"3", {{"3", "TH R IY"}}},
      {"1024", {{"1024", "W AH N TH AW Z AH N D T W EH N T IY F AO R"}}},
      {"ftl", {{"ftl", "EH F T IY EH L"}}},           // letter by letter
      {"nasa", {{"nasa", "N AE S AH"}}},              // a capital word the dictionary has
      {"kestrel", {{"kestrel", "K EH S T R AH L"}}},  // Flite's, the same as eSpeak NG's
      {"x-wing", {{"x-wing", "EH K S W IH NG"}}},     // its parts
      {"b-52", {{"b-52", "B IY F IH F T IY T UW"}}},
      {"zéphyrion",
       {{"zéphyrion", "Z EH F ER IY AH N"},
        {"zéphyrion(2)", "Z EH F IH R IY AH N"}}},  // accent dropped; eSpeak NG's second
      {"zeph'ra", {{"zeph'ra", "Z EH F R AH"}}},    // without its apostrophe
      {"xqor", {{"xqor", "Z UH K AO R"}}},          // sounds like two words
  };
  for (const auto& [word, sounds] : cases) {
    ASSERT_TRUE(words.found.contains(word)) << word;
    Sounds got;
    for (const Pronunciation& pronunciation : words.found.at(word))
      got.emplace_back(pronunciation.entry, pronunciation.phones);
    EXPECT_EQ(got, sounds) << word;
  }
  EXPECT_EQ(words.found.size(), cases.size());
}

TEST_F(WordPronunciationsTest, AWordNoRulePronouncesNamesTheGrammar) {
  ASSERT_TRUE(model);
  EXPECT_EQ(pronounce("go <sil> ?!\n").error,
            "The grammar file /games/fleet.gram uses the words \"<sil>\" and \"?!\", which no rule can pronounce (not "
            "in the en-US dictionary, nor written in letters or digits)");
}

}  // namespace
}  // namespace speech_bridge
