// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "grammar/grammar_file.h"

namespace speech_bridge {
namespace {

using Rules = std::vector<RuleMatch>;

RuleMatch rule(std::string name, std::string text) { return {std::move(name), std::move(text), std::nullopt}; }
RuleMatch rule(std::string name, std::string tag, std::string text) {
  return {std::move(name), std::move(text), std::move(tag)};
}

std::vector<std::string> split(const std::string& sentence) {
  std::vector<std::string> words;
  for (std::size_t at = 0; at < sentence.size();) {
    const std::size_t space = std::min(sentence.find(' ', at), sentence.size());
    if (space > at) words.push_back(sentence.substr(at, space - at));
    at = space + 1;
  }
  return words;
}

constexpr const char* kFleet = R"(#JSGF V1.0;
grammar fleet;
public <order> = [<ship>] <command> {order};
<ship> = second ship {2} | third ship {3} | flagship {F} { flag };
<command> = set course <bearing> | fire {fire} (torpedoes {T} | cannons) | turn <side> [now];
<bearing> = north east {NE} | north {N};
<side> = left | right;
public <route> = via <stop>;
<stop> = <place> [and <stop>];
<place> = port | base;
)";

struct ParseCase {
  const char* grammar;
  const char* sentence;
  Rules rules;
};

// Rules in pre-order, the public rule first; a tag belongs to the rule in
// whose own expansion it stands, several are joined by one space; rules
// taken again at their own end nest; a phrase list has one rule.
TEST(SentenceParser, RulesAndTagsOfASentence) {
  const std::vector<ParseCase> cases = {
      {kFleet, "second ship set course north east",
       {rule("order", "order", "second ship set course north east"), rule("ship", "2", "second ship"),
        rule("command", "set course north east"), rule("bearing", "NE", "north east")}},
      {kFleet, "fire torpedoes",
       {rule("order", "order", "fire torpedoes"), rule("command", "fire T", "fire torpedoes")}},
      {kFleet, "flagship turn left now",
       {rule("order", "order", "flagship turn left now"), rule("ship", "F flag", "flagship"),
        rule("command", "turn left now"), rule("side", "left")}},
      {kFleet, "via port and base and port",
       {rule("route", "via port and base and port"), rule("stop", "port and base and port"), rule("place", "port"),
        rule("stop", "base and port"), rule("place", "base"), rule("stop", "port"), rule("place", "port")}},
      {kFleet, "second ship", {}},
      {kFleet, "third ship fire", {}},
      {"Second ship retreat\nfleet come about\n", "fleet come about", {rule("phrase", "fleet come about")}},
  };
  for (const ParseCase& c : cases) {
    auto compiled = compileGrammarText(c.grammar);
    ASSERT_TRUE(std::holds_alternative<GrammarGraph>(compiled)) << std::get<GrammarProblem>(compiled).description;
    const GrammarGraph& graph = std::get<GrammarGraph>(compiled);
    ASSERT_NE(graph.parser, nullptr);
    EXPECT_EQ(graph.parser->parse(split(c.sentence)), c.rules) << c.sentence;
  }
}

}  // namespace
}  // namespace speech_bridge
