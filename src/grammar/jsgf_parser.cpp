// SPDX-License-Identifier: GPL-3.0-or-later
#include "grammar/jsgf_parser.h"

#include <cmath>
#include <cstdlib>
#include <optional>
#include <set>

#include "grammar/grammar_text.h"

namespace speech_bridge {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kSpecial = ";=|*+<>()[]{}\"/";

enum class TokenKind { end, word, quoted, ruleName, tag, weight, symbol };

struct Token {
  TokenKind kind = TokenKind::end;
  std::string text;  // a word, quoted words, a rule name or a symbol, as written
  double weight = 0.0;
  int line = 1;
};

std::string describe(const Token& token) {
  switch (token.kind) {
    case TokenKind::end:
      return "the end of the file";
    case TokenKind::ruleName:
      return "<" + shortened(token.text) + ">";
    case TokenKind::tag:
      return "a tag";
    case TokenKind::weight:
      return "a weight";
    default:
      return "\"" + shortened(token.text) + "\"";
  }
}

std::string onLine(int line) { return "on line " + std::to_string(line); }

// Splits the text into tokens, skipping white space and comments. After a
// problem every token is the end.
class Lexer {
 public:
  explicit Lexer(std::string_view text) : text_(text) {}

  const Token& peek() {
    if (!peeked_) peeked_ = read();
    return *peeked_;
  }
  Token next() {
    Token token = peek();
    peeked_.reset();
    return token;
  }
  const std::optional<std::string>& problem() const { return problem_; }
  void refuse(std::string description) {
    if (!problem_) problem_ = std::move(description);
  }
  // Skips "#JSGF" at the very start; false when the text does not start so.
  bool skipHeaderMark() {
    if (text_.substr(at_).starts_with(kByteOrderMark)) at_ += kByteOrderMark.size();
    if (!text_.substr(at_).starts_with("#JSGF")) return false;
    at_ += 5;
    return true;
  }

 private:
  bool atEnd() const { return at_ >= text_.size(); }
  char current() const { return text_[at_]; }
  void advance() {
    if (text_[at_] == '\n') ++line_;
    ++at_;
  }

  bool skipSpaceAndComments() {
    while (!atEnd()) {
      if (isWordSeparator(current())) {
        advance();
      } else if (text_.substr(at_).starts_with("//")) {
        while (!atEnd() && current() != '\n') advance();
      } else if (text_.substr(at_).starts_with("/*")) {
        const int opened = line_;
        at_ += 2;
        while (!atEnd() && !text_.substr(at_).starts_with("*/")) advance();
        if (atEnd()) {
          refuse("has a JSGF syntax error " + onLine(opened) + ": a comment opens there and never closes");
          return false;
        }
        at_ += 2;
      } else {
        break;
      }
    }
    return true;
  }

  // Reads up to `close`, honouring backslash escapes; false at the end of
  // the file or, unless `acrossLines`, at a line break.
  bool readEnclosed(char close, bool acrossLines, std::string& out) {
    ++at_;
    while (!atEnd() && current() != close) {
      if (current() == '\n' && !acrossLines) return false;
      if (current() == '\\' && at_ + 1 < text_.size() && text_[at_ + 1] != '\n') ++at_;
      out += current();
      advance();
    }
    if (atEnd()) return false;
    ++at_;
    return true;
  }

  Token read() {
    Token token;
    if (problem_ || !skipSpaceAndComments()) return token;
    token.line = line_;
    if (atEnd()) return token;
    const char c = current();
    if (c == '"') {
      token.kind = TokenKind::quoted;
      if (!readEnclosed('"', false, token.text)) {
        refuse("has a JSGF syntax error " + onLine(token.line) + ": a quoted token opens there and never closes");
        return Token{};
      }
    } else if (c == '{') {
      token.kind = TokenKind::tag;
      if (!readEnclosed('}', true, token.text)) {
        refuse("has a JSGF syntax error " + onLine(token.line) + ": a tag opens there and never closes");
        return Token{};
      }
    } else if (c == '<') {
      token.kind = TokenKind::ruleName;
      ++at_;
      while (!atEnd() && current() != '>' && current() != '<' && !isWordSeparator(current()))
        token.text += text_[at_++];
      if (atEnd() || current() != '>' || token.text.empty()) {
        refuse("has a JSGF syntax error " + onLine(token.line) + ": a rule name there is not closed with \">\"");
        return Token{};
      }
      ++at_;
    } else if (c == '/') {
      token.kind = TokenKind::weight;
      std::string number;
      if (!readEnclosed('/', false, number) || !readWeight(number, token.weight)) {
        refuse("has a JSGF syntax error " + onLine(token.line) +
               ": a weight must be a number between slashes, such as /2.5/");
        return Token{};
      }
    } else if (kSpecial.find(c) != std::string_view::npos) {
      token.kind = TokenKind::symbol;
      token.text = c;
      ++at_;
    } else {
      token.kind = TokenKind::word;
      while (!atEnd() && !isWordSeparator(current()) && kSpecial.find(current()) == std::string_view::npos) {
        token.text += text_[at_++];
      }
    }
    return token;
  }

  static bool readWeight(const std::string& number, double& weight) {
    if (number.empty() || number.size() > 32) return false;
    char* end = nullptr;
    weight = std::strtod(number.c_str(), &end);
    return end == number.c_str() + number.size() && std::isfinite(weight) && weight >= 0.0;
  }

  std::string_view text_;
  std::size_t at_ = 0;
  int line_ = 1;
  std::optional<Token> peeked_;
  std::optional<std::string> problem_;
};

class Parser {
 public:
  explicit Parser(std::string_view text) : lexer_(text) {}

  std::variant<JsgfGrammar, GrammarProblem> parse() {
    if (!lexer_.skipHeaderMark()) return GrammarProblem{"does not start with \"#JSGF\""};
    // "#JSGF V1.0 [encoding [locale]];": the file is UTF-8 whatever it says.
    for (int i = 0; i < 3 && lexer_.peek().kind == TokenKind::word; ++i) lexer_.next();
    expectSymbol(";", "after the \"#JSGF\" header");
    expectKeyword("grammar");
    const Token name = lexer_.next();
    if (name.kind != TokenKind::word) unexpected(name, "the grammar's name");
    grammar_.name = name.text;
    expectSymbol(";", "after the grammar's name");
    while (!failed() && lexer_.peek().kind != TokenKind::end) parseRule();
    if (failed()) return GrammarProblem{*lexer_.problem()};
    return std::move(grammar_);
  }

 private:
  bool failed() const { return lexer_.problem().has_value(); }
  void refuse(int line, const std::string& what) {
    lexer_.refuse("has a JSGF syntax error " + onLine(line) + ": " + what);
  }
  void unexpected(const Token& found, const std::string& wanted) {
    refuse(found.line, "expected " + wanted + ", found " + describe(found));
  }
  bool isSymbol(const Token& token, std::string_view symbol) const {
    return token.kind == TokenKind::symbol && token.text == symbol;
  }
  void expectSymbol(std::string_view symbol, const std::string& where) {
    const Token token = lexer_.next();
    if (!isSymbol(token, symbol)) unexpected(token, "\"" + std::string(symbol) + "\" " + where);
  }
  void expectKeyword(std::string_view keyword) {
    const Token token = lexer_.next();
    if (token.kind != TokenKind::word || token.text != keyword) unexpected(token, "\"" + std::string(keyword) + "\"");
  }

  void parseRule() {
    Token token = lexer_.next();
    if (token.kind == TokenKind::word && token.text == "import") {
      lexer_.refuse("imports another grammar " + onLine(token.line) + ", which speech-bridge does not do");
      return;
    }
    JsgfRule rule;
    if (token.kind == TokenKind::word && token.text == "public") {
      rule.isPublic = true;
      token = lexer_.next();
    }
    if (token.kind != TokenKind::ruleName) return unexpected(token, "a rule name such as <order>");
    rule.name = ownName(token.text);
    rule.line = token.line;
    if (rule.name == "NULL" || rule.name == "VOID") {
      return refuse(token.line, "<" + rule.name + "> is a special rule and cannot be defined");  // NULL or VOID
    }
    if (!defined_.insert(rule.name).second) {
      lexer_.refuse("defines the rule <" + shortened(rule.name) + "> a second time " + onLine(token.line));
      return;
    }
    expectSymbol("=", "after the rule name");
    rule.expansion = parseAlternatives(0);
    expectSymbol(";", "at the end of the rule");
    grammar_.rules.push_back(std::move(rule));
  }

  // "<name.rule>" names a rule of this grammar as "<rule>" does.
  std::string ownName(const std::string& name) const {
    const std::string prefix = grammar_.name + ".";
    return name.starts_with(prefix) && name.size() > prefix.size() ? name.substr(prefix.size()) : name;
  }

  JsgfExpansion parseAlternatives(int depth) {
    JsgfExpansion alternatives;
    alternatives.kind = JsgfExpansion::Kind::alternatives;
    alternatives.line = lexer_.peek().line;
    std::size_t weighted = 0;
    do {
      if (!alternatives.children.empty()) lexer_.next();  // the "|"
      if (lexer_.peek().kind == TokenKind::weight) {
        alternatives.weights.push_back(lexer_.next().weight);
        ++weighted;
      }
      alternatives.children.push_back(parseSequence(depth));
    } while (!failed() && isSymbol(lexer_.peek(), "|"));
    if (weighted != 0 && weighted != alternatives.children.size()) {
      refuse(alternatives.line, "either every alternative has a weight or none has");
    }
    if (alternatives.children.size() == 1 && weighted == 0) return std::move(alternatives.children.front());
    return alternatives;
  }

  JsgfExpansion parseSequence(int depth) {
    JsgfExpansion sequence;
    sequence.line = lexer_.peek().line;
    while (!failed()) {
      const Token& token = lexer_.peek();
      const bool endsSequence =
          token.kind == TokenKind::end ||
          (token.kind == TokenKind::symbol && std::string_view(";|)]").find(token.text) != std::string_view::npos);
      if (endsSequence) break;
      sequence.children.push_back(parseItem(depth));
    }
    if (!failed() && sequence.children.empty()) unexpected(lexer_.peek(), "a word, a rule or a group");
    if (sequence.children.size() == 1) return std::move(sequence.children.front());
    return sequence;
  }

  JsgfExpansion parseItem(int depth) {
    JsgfExpansion item = parsePrimary(depth);
    while (!failed()) {
      const Token& token = lexer_.peek();
      if (token.kind == TokenKind::tag) {
        item.tags.push_back(lexer_.next().text);
      } else if (isSymbol(token, "*") || isSymbol(token, "+")) {
        const auto kind = token.text == "*" ? JsgfExpansion::Kind::zeroOrMore : JsgfExpansion::Kind::oneOrMore;
        if (item.kind == JsgfExpansion::Kind::zeroOrMore || item.kind == JsgfExpansion::Kind::oneOrMore) {
          // "x+*" is "x*" and "x++" is "x+": no nesting however many follow.
          if (kind == JsgfExpansion::Kind::zeroOrMore) item.kind = kind;
        } else {
          JsgfExpansion repeated;
          repeated.kind = kind;
          repeated.line = token.line;
          repeated.children.push_back(std::move(item));
          item = std::move(repeated);
        }
        lexer_.next();
      } else {
        break;
      }
    }
    return item;
  }

  JsgfExpansion parsePrimary(int depth) {
    const Token token = lexer_.next();
    JsgfExpansion primary;
    primary.line = token.line;
    if (token.kind == TokenKind::word) {
      primary.kind = JsgfExpansion::Kind::word;
      primary.text = token.text;  // the graph makes it lower case
    } else if (token.kind == TokenKind::quoted) {
      // A quoted token may hold several words; the dictionary knows them one by one.
      primary.kind = JsgfExpansion::Kind::sequence;
      std::size_t at = 0;
      while (at < token.text.size()) {
        while (at < token.text.size() && isWordSeparator(token.text[at])) ++at;
        std::size_t end = at;
        while (end < token.text.size() && !isWordSeparator(token.text[end])) ++end;
        if (end > at) {
          primary.children.push_back(JsgfExpansion{
              JsgfExpansion::Kind::word, token.text.substr(at, end - at), {}, {}, {}, token.line});
        }
        at = end;
      }
      if (primary.children.empty()) refuse(token.line, "a quoted token holds no word");
    } else if (token.kind == TokenKind::ruleName) {
      const std::string name = ownName(token.text);
      if (name == "VOID") {
        primary.kind = JsgfExpansion::Kind::alternatives;  // no alternative: nothing matches
      } else if (name != "NULL") {                         // <NULL>: the empty sequence
        primary.kind = JsgfExpansion::Kind::ruleReference;
        primary.text = name;
      }
    } else if (isSymbol(token, "(") || isSymbol(token, "[")) {
      if (depth + 1 > kMaxJsgfNesting) {
        lexer_.refuse("nests groups more than " + std::to_string(kMaxJsgfNesting) + " deep " + onLine(token.line));
        return primary;
      }
      const bool optional = token.text == "[";
      JsgfExpansion inner = parseAlternatives(depth + 1);
      expectSymbol(optional ? "]" : ")", "to close the group opened " + onLine(token.line));
      if (!optional) return inner;
      primary.kind = JsgfExpansion::Kind::optional;
      primary.children.push_back(std::move(inner));
    } else if (isSymbol(token, "=")) {
      // "<a> = one two <b> = three;": the next rule, after a missing ";".
      refuse(token.line, "\"=\" inside a rule: does a \";\" end the rule before it?");
    } else {
      unexpected(token, "a word, a rule or a group");
    }
    return primary;
  }

  Lexer lexer_;
  JsgfGrammar grammar_;
  std::set<std::string> defined_;
};

}  // namespace

std::variant<JsgfGrammar, GrammarProblem> parseJsgf(std::string_view text) { return Parser(text).parse(); }

}  // namespace speech_bridge
