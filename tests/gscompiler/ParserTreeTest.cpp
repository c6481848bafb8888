// Parse trees the grammar builds: node kinds, lists, labels and markers.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "ParseTestSupport.h"

using GSCompiler::ParseArena;
using GSTest::Dump;
using GSTest::Parse;

namespace {

// The tree of one function body's statement chain inside a class.
std::string BodyOf(ParseArena& arena, const std::string& statements) {
  GSTest::Parsed parsed = Parse(arena, "class C { void f() { " + statements + " } };");
  EXPECT_EQ(parsed.result.status, 0) << statements << (parsed.log.empty() ? "" : parsed.log[0]);
  if (parsed.result.root == nullptr) return "";
  const ParseNode* function = parsed.result.root->child[2];
  return Dump(function->child[3]->child[0]);
}

std::string ExpressionOf(ParseArena& arena, const std::string& expression) {
  return BodyOf(arena, expression + ";");
}

}  // namespace

TEST(GSParser, ProgramIsIncludesThenClasses) {
  ParseArena arena;
  GSTest::Parsed parsed =
      Parse(arena,
            "include \"Lib\\Base.GS\" include L\"x.gs\" class A {}; "
            "static game class B isclass A, C { int x; public void f(void); };");
  ASSERT_EQ(parsed.result.status, 0);
  EXPECT_EQ(Dump(parsed.result.root),
            "(IncludeDecl (Name \"lib\\base.gs\")) (IncludeDecl (Name \"x.gs\")) "
            "(ClassDecl (Name \"A\")) "
            "(ClassDecl (Name \"B\") [(Name \"A\") (Name \"C\")] "
            "[(VarDeclList (TypeSpec 2) (Declarator (Name \"x\"))) "
            "(FunctionProto (TypeSpec 0) (Name \"f\"))])");
  const ParseNode* b = parsed.result.root->next->next->next;
  EXPECT_EQ(b->flags, ParseNode::SpecStatic | ParseNode::SpecGame);
  EXPECT_EQ(b->child[2]->flags, ParseNode::MemberVariable);
  EXPECT_EQ(b->child[2]->next->flags, ParseNode::SpecPublic);
  EXPECT_EQ(parsed.errors, 0u);
}

TEST(GSParser, DeclarationsCarryTypesSpecifiersAndMarkers) {
  ParseArena arena;
  GSTest::Parsed parsed = Parse(arena,
                                "class C {\n"
                                "  define public int K = 3 + 4, L;\n"
                                "  final thread native secured Foo[] g(string[] s, Bar b) { }\n"
                                "  object h() ;\n"
                                "  int[] a; float[] b; bool c; Baz d;\n"
                                "};");
  ASSERT_EQ(parsed.result.status, 0) << parsed.log[0];
  const ParseNode* members = parsed.result.root->child[2];
  EXPECT_EQ(Dump(members),
            "(VarDeclList (TypeSpec 2) [(Declarator (Name \"K\") (Op 15 (Const 1 3) (Const 1 4))) "
            "(Declarator (Name \"L\"))]) "
            "(FunctionDecl (TypeSpec 11 (Name \"Foo\")) (Name \"g\") "
            "[(Param (TypeSpec 10) (Name \"s\")) (Param (TypeSpec 5 (Name \"Bar\")) (Name \"b\"))] "
            "(Block)) "
            "(FunctionProto (TypeSpec 5) (Name \"h\")) "
            "(VarDeclList (TypeSpec 8) (Declarator (Name \"a\"))) "
            "(VarDeclList (TypeSpec 9) (Declarator (Name \"b\"))) "
            "(VarDeclList (TypeSpec 1) (Declarator (Name \"c\"))) "
            "(VarDeclList (TypeSpec 5 (Name \"Baz\")) (Declarator (Name \"d\")))");
  EXPECT_EQ(members->flags,
            ParseNode::SpecDefine | ParseNode::SpecPublic | ParseNode::MemberVariable);
  EXPECT_EQ(members->next->flags, ParseNode::SpecFinal | ParseNode::SpecThread |
                                      ParseNode::SpecNative | ParseNode::SpecSecured);
  EXPECT_EQ(members->next->child[3]->flags, ParseNode::FunctionBody);
}

// The trees of tests/gscompiler/trees/trees.txt.
TEST(GSParser, ExpressionsAndStatementsBuildTheirTrees) {
  std::ifstream in(VU_SOURCE_DIR "/tests/gscompiler/trees/trees.txt", std::ios::binary);
  ParseArena arena;
  size_t count = 0;
  for (std::string line, tree; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    ASSERT_TRUE(std::getline(in, tree)) << line;
    const std::string source = line.substr(5);
    EXPECT_EQ(line.rfind("expr ", 0) == 0 ? ExpressionOf(arena, source) : BodyOf(arena, source),
              tree)
        << line;
    ++count;
  }
  EXPECT_EQ(count, 41u);
}

// Nodes keep their codes in packed fields: lines far past 16 bits, every
// operator code, the largest type codes and a full 16-bit slot read back as
// they were given.
TEST(GSParser, PackedNodeFieldsHoldTheirWholeRanges) {
  ParseArena arena;
  const std::string blankLines(3000000, '\n');
  GSTest::Parsed parsed =
      Parse(arena, blankLines + "class C { void f() { x = y.size(); } };\n");
  ASSERT_EQ(parsed.result.status, 0);
  const ParseNode* cls = parsed.result.root;
  EXPECT_EQ(cls->line, 3000001);
  const ParseNode* assign = cls->child[2]->child[3]->child[0];
  EXPECT_EQ(assign->op, ParseNode::OpAssign);
  EXPECT_EQ(assign->child[1]->op, ParseNode::OpSize);

  struct Codes {
    int32_t op;
    uint32_t type;
    uint32_t slot;
    uint32_t kind;
    uint32_t nodeClass;
    int32_t line;
  };
  const Codes cases[] = {
      {-1, ParseNode::TypeNull, 0xFFFF, ParseNode::OnLabel, ParseNode::NodeStatement, 67108865},
      {ParseNode::OpNew, ParseNode::TypeObject + ParseNode::TypeArray, 0,
       ParseNode::Null, ParseNode::NodeExpression, 0},
      {ParseNode::OpPostDec, ParseNode::TypeVoid, 0x8001, ParseNode::Name,
       ParseNode::NodeDeclaration, 1},
  };
  for (const Codes& c : cases) {
    ParseNode* node = arena.NewNode();
    ASSERT_NE(node, nullptr);
    node->op = c.op;
    node->type = c.type;
    node->slot = c.slot;
    node->kind = c.kind;
    node->nodeClass = c.nodeClass;
    node->line = c.line;
    node->flags = 0xFFFFFFFFu;
    EXPECT_EQ(node->op, c.op);
    EXPECT_EQ(node->type, c.type);
    EXPECT_EQ(node->slot, c.slot);
    EXPECT_TRUE(node->Is(c.nodeClass, c.kind));
    EXPECT_EQ(node->line, c.line);
    EXPECT_EQ(node->flags, 0xFFFFFFFFu);
  }
}

TEST(GSParser, NodeLinesFollowTheReductionPoint) {
  ParseArena arena;
  GSTest::Parsed parsed = Parse(arena,
                                "class C {\n"      // 1
                                "  int f()\n"      // 2
                                "  {\n"            // 3
                                "    x = a\n"      // 4
                                "      + b\n"      // 5
                                "      ;\n"        // 6
                                "    if (x) y;\n"  // 7
                                "    return\n"     // 8
                                "      1;\n"       // 9
                                "  }\n"            // 10
                                "}\n"              // 11
                                ";");              // 12
  ASSERT_EQ(parsed.result.status, 0);
  const ParseNode* cls = parsed.result.root;
  EXPECT_EQ(cls->line, 12);
  EXPECT_EQ(cls->child[0]->line, 1);
  const ParseNode* function = cls->child[2];
  EXPECT_EQ(function->line, 10);
  const ParseNode* assign = function->child[3]->child[0];
  EXPECT_EQ(assign->line, 6);            // reduced on the ';'
  EXPECT_EQ(assign->child[0]->line, 4);  // an identifier has its own line
  EXPECT_EQ(assign->child[1]->line, 6);  // the '+' waits for the token after b
  const ParseNode* ifStatement = assign->next;
  EXPECT_EQ(ifStatement->line, 8);        // read ahead for an else
  EXPECT_EQ(ifStatement->next->line, 9);  // return: its ';'
}

namespace {

// The lines of every node of a chain, children before the next node.
void NodeLines(const ParseNode* node, std::string& out) {
  for (; node != nullptr; node = node->next) {
    out += std::to_string(node->line) + " ";
    for (int i = 0; i < 4; ++i) NodeLines(node->child[i], out);
  }
}

}  // namespace

// Operands, casts, constants, assignments and expression statements spread
// over lines: each node keeps the line of the moment its rule is reduced
// (whether the parser had read the next token by then).
TEST(GSParser, NodeLinesOfOperandsAndStatementsSpreadOverLines) {
  const struct {
    const char* statements;  // from line 2 on
    const char* lines;       // of the body's nodes, children first
  } cases[] = {
      {"x =\n(int)\ny\n+\n-\n2.5\n;", "8 2 8 5 4 3 6 7 "},
      {"f(\nme\n,\nnull\n,\n'c'\n,\n\"s\"\n,\ntrue\n)\n;", "12 2 3 5 7 9 11 "},
      {"a\n=\nb\n=\ncast<Foo>\nnew Foo(\n)\n;", "9 2 9 4 9 8 8 7 6 6 "},
      {"return\n~\n!\n(\n(float)\nx\n)\n;", "9 3 4 8 7 6 "},
      {"x\n,\ny\n=\n0x1F\n;", "2 7 4 6 "},
      {"if (x)\n;\nelse\n;\ny++\n;", "5 2 6 6 "},
      {"for (i = 0\n; i <\nn\n;\n++i\n)\n;", "8 3 2 2 5 3 4 7 6 "},
      {"switch (x) { case\n1\n: y\n;\n}", "6 2 6 5 3 4 "},
      {"wait() { on\n\"a\"\n,\n\"b\"\n:\n;\n}", "8 8 7 3 5 "},
      {"a\n[\n1\n,\n]\n.\nb\n(\nfalse\n)\n;", "11 8 6 2 4 8 10 "},
  };
  for (const auto& c : cases) {
    ParseArena arena;
    const std::string source = std::string("class C { void f() {\n") + c.statements + "\n} };";
    GSTest::Parsed parsed = Parse(arena, source);
    ASSERT_EQ(parsed.result.status, 0) << c.statements;
    std::string lines;
    NodeLines(parsed.result.root->child[2]->child[3]->child[0], lines);
    EXPECT_EQ(lines, c.lines) << c.statements;
  }
}
