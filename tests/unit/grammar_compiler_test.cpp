// SPDX-License-Identifier: GPL-3.0-or-later
// Grammar files turned into graphs: which sentences each holds, and the
// sentence that refuses each kind of bad file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <variant>
#include <vector>

#include "grammar/grammar_file.h"
#include "unit/recording_fixtures.h"

namespace speech_bridge {
namespace {

using Words = std::vector<std::string>;

Words split(const std::string& sentence) {
  Words words;
  std::size_t at = 0;
  while (at < sentence.size()) {
    const std::size_t space = std::min(sentence.find(' ', at), sentence.size());
    if (space > at) words.push_back(sentence.substr(at, space - at));
    at = space + 1;
  }
  return words;
}

GrammarGraph compiled(const std::string& text) {
  auto result = compileGrammarText(text);
  if (auto* problem = std::get_if<GrammarProblem>(&result)) {
    ADD_FAILURE() << problem->description;
    return {};
  }
  return std::get<GrammarGraph>(result);
}

// Every `yes` sentence is in the grammar and no `no` sentence is.
void expectSentences(const std::string& text, const Words& yes, const Words& no) {
  const GrammarGraph graph = compiled(text);
  for (const std::string& sentence : yes) EXPECT_TRUE(isSentenceOf(graph, split(sentence))) << sentence;
  for (const std::string& sentence : no) EXPECT_FALSE(isSentenceOf(graph, split(sentence))) << sentence;
}

TEST(GrammarCompiler, JsgfOperatorsRulesAndWeights) {
  expectSentences(
      R"(#JSGF V1.0 UTF-8 en;
/** A doc comment. */ grammar fleet;
public <order> = <who> (/2/ set course <direction> | /3/ come about | /1/ retreat {tag}) [now];
<who> = (First | second) Ship | <fleet.all>;
<all> = all ships;
<direction> = north [east] | "south west";
// a line comment
public <count> = one+ two* <NULL> | <VOID> never;
)",
      {"first ship set course north", "second ship come about now", "all ships set course south west",
       "first ship retreat", "one", "one one two two two", "first ship set course north east now"},
      {"first ship", "ship retreat", "never", "two", "", "third ship retreat", "all ships set course east"});
}

TEST(GrammarCompiler, RightRecursionLoopsAndOtherRecursionIsRefused) {
  expectSentences("#JSGF V1.0;\ngrammar g;\npublic <digits> = <digit> <digits> | <digit>;\n<digit> = one | two;\n",
                  {"one", "two one", "one one two one"}, {"", "three"});
  expectSentences("#JSGF V1.0;\ngrammar g;\npublic <a> = go <b>;\n<b> = left | right <a>;\n",
                  {"go left", "go right go left", "go right go right go left"}, {"go right", "go"});
}

TEST(GrammarCompiler, PhraseListsFoldCaseAndSkipCommentsAndBlankLines) {
  expectSentences(
      "# the orders\r\n\r\nSecond ship  retreat\r\n  # indented comment\n\tsecond ship\nÉTÉ\nsecond ship retreat\n",
      {"second ship retreat", "second ship", "été"}, {"second", "retreat", "# the orders"});
}

TEST(GrammarCompiler, GraphsAreTrimmedAndClosed) {
  const GrammarGraph graph =
      compiled("#JSGF V1.0;\ngrammar g;\npublic <a> = [[[one]]] (two | <VOID> three) [four]*;\n");
  EXPECT_EQ(graph.words, (Words{"one", "two", "four"})) << "a word on no path is dropped";
  for (const GrammarArc& arc : graph.arcs) EXPECT_NE(arc.from, graph.final) << "nothing leaves the end";
  EXPECT_TRUE(isSentenceOf(graph, {"two", "four", "four"}));
}

struct BadFile {
  const char* name;
  std::string content;  // written to the file unless `setUp` makes it
  std::string problem;  // what follows "The grammar file PATH "
};

// One sentence for each way a grammar file can be unusable.
TEST(GrammarCompiler, EachBadFileIsRefusedWithItsReason) {
  const std::string header = "#JSGF V1.0;\ngrammar g;\n";
  std::string exponential = header + "public <r0> = <r1> <r1>;\n";
  for (int i = 1; i < 30; ++i) {
    exponential +=
        "<r" + std::to_string(i) + "> = <r" + std::to_string(i + 1) + "> <r" + std::to_string(i + 1) + ">;\n";
  }
  exponential += "<r30> = a | b;\n";
  const std::vector<BadFile> cases = {
      {"large.gram", std::string(kMaxGrammarFileBytes + 1, 'a'), "is larger than 1 MiB"},
      {"latin1.gram", "second ship\nvoil\xe0\n", "is not UTF-8 text (see line 2)"},
      {"nul.gram", std::string("one\ntwo\nthr\0ee\n", 15), "is not UTF-8 text (see line 3)"},
      {"syntax.gram", header + "public <a> = one two\npublic <b> = three;\n",
       "has a JSGF syntax error on line 4: \"=\" inside a rule: does a \";\" end the rule before it?"},
      {"unclosed.gram", header + "public <a> = (one | two;\n",
       "has a JSGF syntax error on line 3: expected \")\" to close the group opened on line 3, found \";\""},
      {"comment.gram", header + "/* never\nclosed\n",
       "has a JSGF syntax error on line 3: a comment opens there and never closes"},
      {"undefined.gram", header + "public <a> = go <where>;\n", "refers to the undefined rule <where> on line 3"},
      {"import.gram", header + "import <other.*>;\npublic <a> = go;\n",
       "imports another grammar on line 3, which speech-bridge does not do"},
      {"recursion.gram", header + "public <a> = go <a> now | stop;\n",
       "refers to the rule <a> inside itself on line 3, which only a rule's very last item may do"},
      {"twice.gram", header + "<a> = one;\n<a> = two;\n", "defines the rule <a> a second time on line 4"},
      {"nopublic.gram", header + "<a> = one;\n", "holds no sentence: it has no public rule"},
      {"void.gram", header + "public <a> = one <VOID>;\n", "holds no sentence: its public rules match nothing"},
      {"comments.txt", "# only\n\n   \n# comments\n", "holds no sentence: every line is blank or a comment"},
      {"empty.txt", "", "holds no sentence: every line is blank or a comment"},
      {"nested.gram", header + "public <a> = " + std::string(40, '(') + "x" + std::string(40, ')') + ";\n",
       "nests groups more than 32 deep on line 3"},
      {"exponential.gram", exponential,
       "is too large to search: it expands to more than 100000 states or 200000 transitions"},
  };
  fixtures::TemporaryFolder folder;
  for (const BadFile& bad : cases) {
    folder.writeFile(bad.name, bad.content);
    const std::string path = folder.path(bad.name);
    const CompiledGrammar result = compileGrammarFile(path);
    EXPECT_FALSE(result.graph) << bad.name;
    EXPECT_EQ(result.error, "The grammar file " + path + " " + bad.problem) << bad.name;
  }
  // What the file system makes of the path.
  ::mkfifo(folder.path("pipe").c_str(), 0600);
  const std::vector<std::pair<std::string, std::string>> paths = {
      {folder.path("absent.gram"), "does not exist"},
      {folder.path("large.gram/x"), "does not exist"},
      {folder.path(""), "is a directory"},
      {folder.path("pipe"), "is not a regular file"},
      // A regular file whose reads fail, which even the superuser cannot read.
      {"/proc/self/mem", "cannot be read: Input/output error"},
  };
  for (const auto& [path, problem] : paths) {
    EXPECT_EQ(compileGrammarFile(path).error, "The grammar file " + path + " " + problem) << path;
  }
}

}  // namespace
}  // namespace speech_bridge
