// Token-level behaviour of the GameScript scanner.
#include <gtest/gtest.h>

#include <string>

#include "GSGrammar.hpp"
#include "ParseTestSupport.h"
#include "gscompiler/GSScanner.h"

using GSTest::Codes;
using GSTest::Scan;
using GSTest::Token;

TEST(GSScanner, TokenCodesFollowDeclarationOrder) {
  EXPECT_EQ(KEYWORD_BREAK, 258);
  EXPECT_EQ(KEYWORD_ON, 297);
  EXPECT_EQ(IDENTIFIER, 298);
  EXPECT_EQ(SYMBOL_NEQ, 312);
  EXPECT_EQ(ILLEGAL_CHARACTER, 313);
}

TEST(GSScanner, KeywordsAreExactAndCaseSensitive) {
  EXPECT_EQ(Codes("break Break IF if format for"),
            (std::vector<int>{KEYWORD_BREAK, IDENTIFIER, IDENTIFIER, KEYWORD_IF, IDENTIFIER,
                              KEYWORD_FOR}));
  EXPECT_EQ(Codes("secured define game thread final static native public"),
            (std::vector<int>{KEYWORD_SECURED, KEYWORD_DEFINE, KEYWORD_GAME, KEYWORD_THREAD,
                              KEYWORD_FINAL, KEYWORD_STATIC, KEYWORD_NATIVE, KEYWORD_PUBLIC}));
  EXPECT_EQ(Codes("constructor private inherited this _x9"), (std::vector<int>(5, IDENTIFIER)));
}

TEST(GSScanner, NumbersSplitWhereThePatternsEnd) {
  EXPECT_EQ(Codes("1f 1.5f 3.f .5f 1F"),
            (std::vector<int>{CONSTANT_INT, IDENTIFIER, CONSTANT_FLOAT, CONSTANT_FLOAT,
                              CONSTANT_FLOAT, CONSTANT_INT, IDENTIFIER}));
  EXPECT_EQ(Scan("1e5"), (std::vector<Token>{{CONSTANT_INT, "1", 1}, {IDENTIFIER, "e5", 1}}));
  // No exponent form: the letter starts a name.
  EXPECT_EQ(Scan("1.5e3 2E-2"), (std::vector<Token>{{CONSTANT_FLOAT, "1.5", 1},
                                                    {IDENTIFIER, "e3", 1},
                                                    {CONSTANT_INT, "2", 1},
                                                    {IDENTIFIER, "E", 1},
                                                    {'-', "-", 1},
                                                    {CONSTANT_INT, "2", 1}}));
  EXPECT_EQ(Scan("1..2"),
            (std::vector<Token>{{CONSTANT_FLOAT, "1.", 1}, {CONSTANT_FLOAT, ".2", 1}}));
  EXPECT_EQ(Scan("0x 0XaF 09"), (std::vector<Token>{{CONSTANT_INT, "0", 1},
                                                    {IDENTIFIER, "x", 1},
                                                    {CONSTANT_HEX, "0XaF", 1},
                                                    {CONSTANT_INT, "09", 1}}));
}

TEST(GSScanner, OperatorsAndBracketPairs) {
  EXPECT_EQ(Codes("&& || +="), (std::vector<int>{'&', '&', '|', '|', '+', '='}));
  EXPECT_EQ(Codes(">> << ++ -- <= >= == !="),
            (std::vector<int>{SYMBOL_RIGHT_SHIFT, SYMBOL_LEFT_SHIFT, SYMBOL_INC, SYMBOL_DEC,
                              SYMBOL_LTE, SYMBOL_GTE, SYMBOL_EQ, SYMBOL_NEQ}));
  EXPECT_EQ(Codes("a[ ] a[0] a[]"),
            (std::vector<int>{IDENTIFIER, SYMBOL_OP_DIM, IDENTIFIER, '[', CONSTANT_INT, ']',
                              IDENTIFIER, SYMBOL_OP_DIM}));
  // A bracket pair around a newline is one token and still counts the line.
  EXPECT_EQ(Scan("[\n]x"), (std::vector<Token>{{SYMBOL_OP_DIM, "[\n]", 2}, {IDENTIFIER, "x", 2}}));
  EXPECT_EQ(Codes("; : { } , = ( ) ] [ . & ! ~ - + * / % < > ^ |"),
            (std::vector<int>{';', ':', '{', '}', ',', '=', '(', ')', ']', '[', '.', '&',
                              '!', '~', '-', '+', '*', '/', '%', '<', '>', '^', '|'}));
}

TEST(GSScanner, CharacterAndStringLiterals) {
  EXPECT_EQ(
      Codes("L'x' L\"x\" L Lx 'ab'"),
      (std::vector<int>{CONSTANT_CHAR, CONSTANT_STRING, IDENTIFIER, IDENTIFIER, CONSTANT_CHAR}));
  EXPECT_EQ(Scan(R"("a\"b" x)"),
            (std::vector<Token>{{CONSTANT_STRING, R"("a\"b")", 1}, {IDENTIFIER, "x", 1}}));
  // A string may run over line ends; its newlines count.
  EXPECT_EQ(Scan("\"a\nb\" c"),
            (std::vector<Token>{{CONSTANT_STRING, "\"a\nb\"", 2}, {IDENTIFIER, "c", 2}}));
  // A backslash before a line end does not continue a literal: the quote is
  // an illegal character.
  EXPECT_EQ(Codes("\"a\\\nb\""), (std::vector<int>{ILLEGAL_CHARACTER, IDENTIFIER, ILLEGAL_CHARACTER,
                                                   IDENTIFIER, ILLEGAL_CHARACTER}));
  EXPECT_EQ(Codes("\"open"), (std::vector<int>{ILLEGAL_CHARACTER, IDENTIFIER}));
  EXPECT_EQ(Codes("'"), (std::vector<int>{ILLEGAL_CHARACTER}));
}

TEST(GSScanner, CommentsAndLineCounting) {
  EXPECT_EQ(Scan("a /* x\n/* y\n z */ b // c */ d\ne"),
            (std::vector<Token>{{IDENTIFIER, "a", 1}, {IDENTIFIER, "b", 3}, {IDENTIFIER, "e", 4}}));
  EXPECT_EQ(Scan("a\r\n\tb\v\fc"),
            (std::vector<Token>{{IDENTIFIER, "a", 1}, {IDENTIFIER, "b", 2}, {IDENTIFIER, "c", 2}}));
  // End of input inside a block comment simply ends the input.
  EXPECT_EQ(Scan("a /* never closed\n\n"), (std::vector<Token>{{IDENTIFIER, "a", 1}}));
  EXPECT_EQ(Scan("x"), (std::vector<Token>{{IDENTIFIER, "x", 1}}));
  // Every place a line can end counts it once: runs of blank lines, blanks
  // before and after a line end, comment text with stars, a character
  // literal and an empty bracket pair across lines.
  const struct {
    const char* source;
    int line;  // of the last token
  } lines[] = {
      {"a\n\n\n  \t\n b", 5},   {"a  \t\n  \n\r\nb", 4}, {"/* ** \n * / \n**/ b", 3},
      {"/*\n\n*\n*/\nb", 5},     {"'\n\n' b", 3},           {"x[ \n\n ] b", 3},
      {"\"\n\\n\n\" b", 3},  {"// a\n// b\n\nb", 4},
  };
  for (const auto& c : lines) {
    const std::vector<Token> tokens = Scan(c.source);
    ASSERT_FALSE(tokens.empty()) << c.source;
    EXPECT_EQ(tokens.back().line, c.line) << c.source;
  }
}

TEST(GSScanner, StrayBytesAreIllegalCharacters) {
  const std::string source("a\0b@#$\x80\xff`", 9);
  EXPECT_EQ(Codes(source),
            (std::vector<int>{IDENTIFIER, ILLEGAL_CHARACTER, IDENTIFIER, ILLEGAL_CHARACTER,
                              ILLEGAL_CHARACTER, ILLEGAL_CHARACTER, ILLEGAL_CHARACTER,
                              ILLEGAL_CHARACTER, ILLEGAL_CHARACTER}));
  // NUL and high bytes are ordinary characters inside literals and comments.
  const std::string inside("\"x\0\xe9\" /*\0*/ 'y'", 15);
  EXPECT_EQ(Codes(inside), (std::vector<int>{CONSTANT_STRING, CONSTANT_CHAR}));
}

TEST(GSScanner, TokensLongerThanTheInputBuffer) {
  const std::string name(100000, 'n');
  const std::string text = "\"" + std::string(70000, 's') + "\"";
  std::vector<Token> tokens = Scan(name + " " + text + " /*" + std::string(50000, '\n') + "*/ z");
  ASSERT_EQ(tokens.size(), 3u);
  EXPECT_EQ(tokens[0].text, name);
  EXPECT_EQ(tokens[1].text, text);
  EXPECT_EQ(tokens[2], (Token{IDENTIFIER, "z", 50001}));
}

TEST(GSScanner, EmptyAndNullInputEndAtOnce) {
  EXPECT_TRUE(Scan("").empty());
  GSCompiler::GSScanner scanner(nullptr, 5);
  EXPECT_EQ(scanner.NextToken(), 0);
  EXPECT_EQ(scanner.FailureText(), nullptr);
}
