// Hostile input: deep nesting, stray bytes, huge tokens and scanner faults
// end in a message and a status, never in a crash or an exit.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "GSGrammar.hpp"
#include "ParseTestSupport.h"
#include "gscompiler/GSScanner.h"

using GSCompiler::ParseArena;
using GSTest::Parse;

namespace {

std::string InFunction(const std::string& statements) {
  return "class A {\nint f() {\n" + statements + "\n}\n};\n";
}

std::string Repeat(const std::string& text, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += text;
  return out;
}

}  // namespace

TEST(GSParserLimits, NestingWithinTheStackLimitParses) {
  ParseArena arena;
  const int depth = 5000;
  GSTest::Parsed parens =
      Parse(arena, InFunction("return " + Repeat("(", depth) + "1" + Repeat(")", depth) + ";"));
  EXPECT_EQ(parens.result.status, 0);
  EXPECT_TRUE(parens.log.empty());
  GSTest::Parsed blocks = Parse(arena, InFunction(Repeat("{", depth) + Repeat("}", depth)));
  EXPECT_EQ(blocks.result.status, 0);
  GSTest::Parsed unary = Parse(arena, InFunction("return " + Repeat("-", depth) + "x;"));
  EXPECT_EQ(unary.result.status, 0);
}

TEST(GSParserLimits, NestingBeyondTheStackLimitOverflows) {
  ParseArena arena;
  const int depth = 20000;
  GSTest::Parsed parens =
      Parse(arena, InFunction("return " + Repeat("(", depth) + "1" + Repeat(")", depth) + ";"),
            "deep.gs");
  EXPECT_EQ(parens.result.status, 2);
  EXPECT_EQ(parens.result.root, nullptr);
  EXPECT_EQ(parens.log, (std::vector<std::string>{"deep.gs(3) : parser stack overflow, line 3"}));
  EXPECT_EQ(parens.errors, 1u);
  GSTest::Parsed ifs = Parse(arena, InFunction(Repeat("if (x)\n", depth) + "y;"), "ifs.gs");
  EXPECT_EQ(ifs.result.status, 2);
  ASSERT_EQ(ifs.log.size(), 1u);
  EXPECT_NE(ifs.log[0].find("parser stack overflow"), std::string::npos);
  // The parser is usable again after an overflow.
  EXPECT_EQ(Parse(arena, "class A { };").result.status, 0);
}

TEST(GSParserLimits, LongListsAndLongTokensParse) {
  ParseArena arena;
  const std::string name(200000, 'v');
  GSTest::Parsed longName = Parse(arena, InFunction("int " + name + ";"));
  ASSERT_EQ(longName.result.status, 0);
  const ParseNode* declaration = longName.result.root->child[2]->child[3]->child[0];
  EXPECT_EQ(std::string(declaration->child[1]->child[0]->text), name);

  const int terms = 100000;
  GSTest::Parsed comma =
      Parse(arena, InFunction("x" + Repeat(", x", terms) + ";" + Repeat("y;\n", terms)));
  ASSERT_EQ(comma.result.status, 0);
  int count = 0;
  for (const ParseNode* n = comma.result.root->child[2]->child[3]->child[0]; n; n = n->next) {
    ++count;
    EXPECT_TRUE(n->flags & ParseNode::ValueDiscarded);
  }
  EXPECT_EQ(count, 2 * terms + 1);
}

TEST(GSParserLimits, NulBytesAreIllegalCharactersAtTheirLine) {
  ParseArena arena;
  std::string source = "class A {\n  int x;\n  ";
  source += '\0';
  source += "\n};\n";
  GSTest::Parsed parsed = Parse(arena, source, "nul.gs");
  EXPECT_EQ(parsed.log, (std::vector<std::string>{"nul.gs(3) : parse error, line 3"}));
  std::string inString = "class A { string s = \"a";
  inString += '\0';
  inString += "b\"; };";
  GSTest::Parsed literal = Parse(arena, inString);
  ASSERT_EQ(literal.result.status, 0);
  EXPECT_STREQ(literal.result.root->child[2]->child[1]->child[1]->text, "a");
}

TEST(GSParserLimits, EmptyInputFailsAtLineOne) {
  ParseArena arena;
  EXPECT_EQ(Parse(arena, "", "e.gs").log,
            (std::vector<std::string>{"e.gs(1) : parse error, line 1"}));
  GSCompiler::CompileDiagnostics diagnostics;
  GSCompiler::ParseResult result = GSCompiler::GSParseSource(nullptr, 0, diagnostics, arena);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.errorCount, 1u);
  EXPECT_EQ(diagnostics.errorCount, 1u);
}

TEST(GSParserLimits, YyparseWithoutACurrentParseFails) {
  EXPECT_EQ(yyparse(), 1);
}

TEST(GSParserLimits, ArenaKeepsSeveralTreesUntilReset) {
  ParseArena arena;
  GSTest::Parsed first = Parse(arena, "class A { };");
  GSTest::Parsed second = Parse(arena, "class B { };");
  ASSERT_EQ(first.result.status, 0);
  ASSERT_EQ(second.result.status, 0);
  EXPECT_STREQ(first.result.root->child[0]->text, "A");
  EXPECT_STREQ(second.result.root->child[0]->text, "B");
  EXPECT_EQ(arena.NodeCount(), 4u);
  arena.Reset();
  EXPECT_EQ(arena.NodeCount(), 0u);
  EXPECT_EQ(Parse(arena, "class C { };").result.status, 0);
}

namespace {

// Every node reachable from `chain` through children and `next`.
void Collect(const ParseNode* chain, std::vector<const ParseNode*>& out) {
  for (const ParseNode* n = chain; n != nullptr; n = n->next) {
    out.push_back(n);
    for (const ParseNode* c : n->child) Collect(c, out);
  }
}

}  // namespace

// The parser keeps each list's last node in the head's `parent` while it
// builds; trees must still leave it with `parent` and (on every node that
// is not an expression, whose word holds its value) `chain` null: the
// semantic pass owns them. Across node blocks too, and a later parse must
// not touch the links of a tree already in the arena.
TEST(GSParserLimits, TreesLeaveTheParserWithoutChainLinks) {
  ParseArena arena;
  GSTest::Parsed first = Parse(arena, "class A { void F() { int a; a = 1; a = 2; } };");
  ASSERT_EQ(first.result.status, 0);
  first.result.root->chain = first.result.root;  // as the semantic pass may
  first.result.root->parent = first.result.root;
  std::string body;
  for (int i = 0; i < 1500; ++i) body += "a = a + 1, a = G(a, 2, 3), a; ";
  const std::string sources[] = {
      "class B { int G(int x, int y, int z) { return x; } void F() { int a; " + body + "} };",
      "class C { void F() { int a; a = 1, a = 2, a = 3; } }; class D { }; class E { };",
  };
  for (const std::string& source : sources) {
    GSTest::Parsed parsed = Parse(arena, source);
    ASSERT_EQ(parsed.result.status, 0);
    std::vector<const ParseNode*> nodes;
    Collect(parsed.result.root, nodes);
    ASSERT_GT(nodes.size(), 10u);
    for (const ParseNode* n : nodes) {
      if (n->nodeClass != ParseNode::NodeExpression) {
        EXPECT_EQ(n->chain, nullptr) << "line " << n->line;
      }
      EXPECT_EQ(n->parent, nullptr) << "line " << n->line;
    }
  }
  EXPECT_GT(arena.NodeCount(), 10000u) << "the trees span several node blocks";
  EXPECT_EQ(first.result.root->chain, first.result.root);
  EXPECT_EQ(Parse(arena, "class F { void G() { a = 1, b = 2; ").result.status, 1);
  EXPECT_EQ(first.result.root->chain, first.result.root) << "a failed parse clears only its own";
  EXPECT_EQ(first.result.root->parent, first.result.root) << "a failed parse clears only its own";
}

namespace {

// A scanner whose input fails, which makes flex raise its fatal error.
class FailingScanner : public GSCompiler::GSScanner {
 public:
  FailingScanner() : GSScanner("", 0) {}

 protected:
  int LexerInput(char*, int) override { return -1; }
};

}  // namespace

TEST(GSScannerFaults, FlexFatalErrorBecomesAFailedScan) {
  FailingScanner scanner;
  EXPECT_EQ(scanner.NextToken(), YYerror);
  EXPECT_STREQ(scanner.FailureText(), "input in flex scanner failed");
  EXPECT_EQ(scanner.NextToken(), 0);
}
