// Parse trees the grammar builds: node kinds, lists, labels and markers.
#include <gtest/gtest.h>

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

TEST(GSParser, OperatorsNestByLevelAndAssociativity) {
  ParseArena arena;
  EXPECT_EQ(ExpressionOf(arena, "a = b = c"),
            "(Op 30 vd (Id \"a\") (Op 30 (Id \"b\") (Id \"c\")))");
  EXPECT_EQ(ExpressionOf(arena, "a - b - c"),
            "(Op 16 vd (Op 16 (Id \"a\") (Id \"b\")) (Id \"c\"))");
  EXPECT_EQ(ExpressionOf(arena, "x = 3 < 4 > 5"),
            "(Op 30 vd (Id \"x\") (Op 20 (Op 19 (Const 1 3) (Const 1 4)) (Const 1 5)))");
  EXPECT_EQ(ExpressionOf(arena, "a or b and c | d ^ e & f == g < h << i + j * k"),
            "(Op 29 vd (Id \"a\") (Op 28 (Id \"b\") (Op 27 (Id \"c\") (Op 26 (Id \"d\") "
            "(Op 25 (Id \"e\") (Op 23 (Id \"f\") (Op 19 (Id \"g\") (Op 17 (Id \"h\") "
            "(Op 15 (Id \"i\") (Op 12 (Id \"j\") (Id \"k\")))))))))))");
  EXPECT_EQ(ExpressionOf(arena, "-!~+x"), "(Op 4 vd (Op 5 (Op 6 (Op 3 (Id \"x\")))))");
  EXPECT_EQ(ExpressionOf(arena, "++x--"), "(Op 8 vd (Op 0 (Id \"x\")))");
  EXPECT_EQ(ExpressionOf(arena, "a != b % c / d >> e >= f"),
            "(Op 24 vd (Id \"a\") (Op 22 (Op 18 (Op 13 (Op 14 (Id \"b\") (Id \"c\")) (Id \"d\")) "
            "(Id \"e\")) (Id \"f\")))");
}

TEST(GSParser, PostfixCastAndNewForms) {
  ParseArena arena;
  EXPECT_EQ(ExpressionOf(arena, "s[,1]"), "(Op 9 vd (Id \"s\") _ (Const 1 1))");
  EXPECT_EQ(ExpressionOf(arena, "s[1,]"), "(Op 9 vd (Id \"s\") (Const 1 1))");
  EXPECT_EQ(ExpressionOf(arena, "s[1,2]"), "(Op 9 vd (Id \"s\") (Const 1 1) (Const 1 2))");
  EXPECT_EQ(ExpressionOf(arena, "s[i]"), "(Op 10 vd (Id \"s\") (Id \"i\"))");
  EXPECT_EQ(ExpressionOf(arena, "o.f(1, x)"),
            "(Call vd (Op 2 (Id \"o\") (Member \"f\")) [(Const 1 1) (Id \"x\")])");
  EXPECT_EQ(ExpressionOf(arena, "f()"), "(Call vd (Id \"f\"))");
  EXPECT_EQ(ExpressionOf(arena, "a.size()"), "(Op 31 vd (Id \"a\"))");
  EXPECT_EQ(ExpressionOf(arena, "me.isclass(Foo)"), "(Op 32 vd (Me) (Name \"Foo\"))");
  EXPECT_EQ(ExpressionOf(arena, "a.copy(null)"), "(Op 33 vd (Id \"a\") (Null))");
  EXPECT_EQ(ExpressionOf(arena, "(int)x"), "(Op 11 vd (Id \"x\") (TypeSpec 2))");
  EXPECT_EQ(ExpressionOf(arena, "(string[])x"), "(Op 11 vd (Id \"x\") (TypeSpec 10))");
  EXPECT_EQ(ExpressionOf(arena, "cast<Foo>x"), "(Op 11 vd (Id \"x\") (TypeSpec 5 (Name \"Foo\")))");
  EXPECT_EQ(ExpressionOf(arena, "new int[4]"), "(Op 34 vd (TypeSpec 8) (Const 1 4))");
  EXPECT_EQ(ExpressionOf(arena, "new Foo(1)"),
            "(Op 34 vd (TypeSpec 5 (Name \"Foo\")) _ (Const 1 1))");
  EXPECT_EQ(ExpressionOf(arena, "new Foo[n]"),
            "(Op 34 vd (TypeSpec 11 (Name \"Foo\")) (Id \"n\"))");
  EXPECT_EQ(ExpressionOf(arena, "new object()"), "(Op 34 vd (TypeSpec 5))");
}

TEST(GSParser, ConstantsAreConvertedWhenBuilt) {
  ParseArena arena;
  EXPECT_EQ(ExpressionOf(arena, "f(0xFFFFFFFF, 0x10, 'ab', '\\n', 2.5f, true, false)"),
            "(Call vd (Id \"f\") [(Const 1 2147483647) (Const 1 16) (Const 1 97) (Const 1 10) "
            "(Const 2 2.5) (Const 0 1) (Const 0 0)])");
  EXPECT_EQ(ExpressionOf(arena, "s = \"a\\tb\\0c\""), "(Op 30 vd (Id \"s\") (Const 3 \"a\tb\"))");
  EXPECT_EQ(ExpressionOf(arena, "s = L\"\\q\\\"\""), "(Op 30 vd (Id \"s\") (Const 3 \"q\"\"))");
}

TEST(GSParser, StatementsAndLabelsFormOneChain) {
  ParseArena arena;
  EXPECT_EQ(BodyOf(arena, "; int i = 1; ; x;"),
            "(VarDeclList (TypeSpec 2) (Declarator (Name \"i\") (Const 1 1))) (Id \"x\" vd)");
  EXPECT_EQ(
      BodyOf(arena, "switch (n) { case 1: a, b; default: ; }"),
      "(Switch (Id \"n\") (Block [(Case (Const 1 1)) (Id \"a\" vd) (Id \"b\" vd) (Default)]))");
  EXPECT_EQ(BodyOf(arena, "top: goto top; continue; break; return; return 1, 2;"),
            "(Label (Name \"top\")) (Goto (Name \"top\")) (Continue) (Break) (Return) "
            "(Return [(Const 1 1 vd) (Const 1 2)])");
  EXPECT_EQ(BodyOf(arena, "wait() { on \"A\", \"B\": x; on \"C\", \"D\", msg: { } }"),
            "(Wait (Block [(On (Const 3 \"A\") (Const 3 \"B\")) (Id \"x\" vd) "
            "(On (Const 3 \"C\") (Const 3 \"D\") (Id \"msg\")) (Block)]))");
  EXPECT_EQ(BodyOf(arena, "if (a) if (b) x; else y;"),
            "(If (Id \"a\") (If (Id \"b\") (Id \"x\" vd) (Id \"y\" vd)))");
  EXPECT_EQ(BodyOf(arena, "while (c) { }"), "(While (Id \"c\") (Block))");
}

TEST(GSParser, ForAndCommaMarkDiscardedValues) {
  ParseArena arena;
  EXPECT_EQ(BodyOf(arena, "for (;;) ;"), "(For)");
  EXPECT_EQ(BodyOf(arena, "for (i = 0, j = 0; i < n, j < n; i++, j++) x;"),
            "(For [(Op 30 vd (Id \"i\") (Const 1 0)) (Op 30 vd (Id \"j\") (Const 1 0))] "
            "[(Op 19 vd (Id \"i\") (Id \"n\")) (Op 19 (Id \"j\") (Id \"n\"))] "
            "(Id \"x\" vd) [(Op 1 vd (Id \"i\")) (Op 1 vd (Id \"j\"))])");
  // Only the last operand of a comma expression keeps its value, however
  // the operands are grouped by parentheses.
  EXPECT_EQ(BodyOf(arena, "return (a, b), (c, d), e;"),
            "(Return [(Id \"a\" vd) (Id \"b\" vd) (Id \"c\" vd) (Id \"d\" vd) (Id \"e\")])");
  EXPECT_EQ(BodyOf(arena, "return f((a, b), c);"),
            "(Return (Call (Id \"f\") [(Id \"a\" vd) (Id \"b\") (Id \"c\")]))");
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
