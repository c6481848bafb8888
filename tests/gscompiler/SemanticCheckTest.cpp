// What the semantic pass leaves in the tree for the code generator: types,
// folded constants, slots, call numbers, inserted casts, chains and the
// implicit return; and the folds it must refuse.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "SemanticTestSupport.h"
#include "gscompiler/GSSemanticCheck.h"

namespace {

using N = ParseNode;

// Stands for a node a test looked for and did not find (the helpers below
// never answer null, so a failed expectation cannot crash the test).
const N* Missing() {
  // Links and texts of a node outside an arena stay null: never assigned.
  static const N* missing = [] {
    static N n{};
    n.op = -1;
    n.nodeClass = 3;  // no class of node
    return &n;
  }();
  ADD_FAILURE() << "node not found";
  return missing;
}

const N* OrMissing(const N* n) {
  return n != nullptr ? n : Missing();
}

// The first statement of the body of the first function named `name`.
const N* Body(const N* root, const char* name) {
  for (const N* cls = root; cls != nullptr; cls = cls->next) {
    if (!cls->Is(N::NodeDeclaration, N::ClassDecl)) continue;
    for (const N* m = cls->child[2]; m != nullptr; m = m->next) {
      if (m->Is(N::NodeDeclaration, N::FunctionDecl) && std::strcmp(m->child[1]->text, name) == 0)
        return OrMissing(m->child[3]->child[0]);
    }
  }
  return Missing();
}

// The value side of the assignment statement `statement`.
const N* AssignedValue(const N* statement) {
  EXPECT_TRUE(statement != nullptr && statement->Is(N::NodeExpression, N::Operator) &&
              statement->op == N::OpAssign);
  return statement != nullptr ? OrMissing(statement->child[1]) : Missing();
}

const N* Nth(const N* chain, int n) {
  while (chain != nullptr && n-- > 0) chain = chain->next;
  return OrMissing(chain);
}

// Child `i` of `node`.
const N* Child(const N* node, int i) {
  return OrMissing(OrMissing(node)->child[i]);
}

class GSSemanticTree : public ::testing::Test {
 protected:
  const N* Run(const std::string& body, const std::string& members = "") {
    source_ =
        "static class K { public define int Five = 2 + 3; public define float F = 2; };\n"
        "class T {\n" +
        members + "\nvoid Run(int i, float f, bool b, string s) {\n" + body + "\n}\n};\n";
    checked_ = GSTest::Check(arena_, source_);
    EXPECT_EQ(checked_.errors, 0u) << (checked_.log.empty() ? "" : checked_.log[0]);
    return Body(checked_.root, "Run");
  }

  GSCompiler::ParseArena arena_;
  std::string source_;
  GSTest::Checked checked_;
};

TEST_F(GSSemanticTree, ConstantOperatorsFoldInPlace) {
  const N* s =
      Run("i = 1 + 2 * 3; i = 2147483647 + 1; f = 1 + 0.5; b = 3 > 2.5; b = !0.0; i = -7 / 2;");
  const N* v = AssignedValue(s);
  ASSERT_TRUE(v->Is(N::NodeExpression, N::Constant));
  EXPECT_EQ(v->IntValue(), 7);
  EXPECT_EQ(v->child[0], nullptr);
  EXPECT_EQ(AssignedValue(Nth(s, 1))->IntValue(), INT32_MIN) << "32-bit wrap";
  EXPECT_FLOAT_EQ(AssignedValue(Nth(s, 2))->FloatValue(), 1.5f);
  EXPECT_EQ(AssignedValue(Nth(s, 2))->type, uint32_t(N::TypeFloat));
  EXPECT_EQ(AssignedValue(Nth(s, 3))->value, 1u);
  EXPECT_EQ(AssignedValue(Nth(s, 3))->type, uint32_t(N::TypeBool));
  EXPECT_EQ(AssignedValue(Nth(s, 4))->value, 1u);
  EXPECT_EQ(AssignedValue(Nth(s, 5))->IntValue(), -3) << "division truncates toward zero";
}

TEST_F(GSSemanticTree, DivisionsThatWouldTrapStayForRunTime) {
  const N* s =
      Run("i = 1 / 0; i = 7 % 0; i = (-2147483647 - 1) / -1; i = (-2147483647 - 1) % -1;"
          "f = 1.0 / 0.0; f = 1.5 % 0;");
  for (int n = 0; n < 6; ++n) {
    const N* v = AssignedValue(Nth(s, n));
    SCOPED_TRACE(n);
    EXPECT_TRUE(v->Is(N::NodeExpression, N::Operator));
    EXPECT_EQ(v->type, n < 4 ? uint32_t(N::TypeInt) : uint32_t(N::TypeFloat));
  }
  EXPECT_EQ(Child(AssignedValue(Nth(s, 2)), 0)->IntValue(), INT32_MIN)
      << "the dividend still folds";
}

TEST_F(GSSemanticTree, StringOperatorsAreNeverFolded) {
  const N* s = Run("b = \"a\" == \"b\"; s = \"a\" + 1;");
  EXPECT_TRUE(AssignedValue(s)->Is(N::NodeExpression, N::Operator));
  EXPECT_EQ(AssignedValue(s)->type, uint32_t(N::TypeBool));
  EXPECT_EQ(AssignedValue(Nth(s, 1))->type, uint32_t(N::TypeString));
}

TEST_F(GSSemanticTree, DefineUsesBecomeConstantsOfTheDeclaredType) {
  const N* s = Run("i = Five; i = K.Five; f = K.F;", "define int Five = K.Five + 1;");
  EXPECT_TRUE(AssignedValue(s)->Is(N::NodeExpression, N::Constant));
  EXPECT_EQ(AssignedValue(s)->IntValue(), 6) << "the member define shadows the static class's";
  EXPECT_EQ(AssignedValue(Nth(s, 1))->IntValue(), 5);
  const N* f = AssignedValue(Nth(s, 2));
  ASSERT_TRUE(f->Is(N::NodeExpression, N::Constant));
  EXPECT_EQ(f->op, N::ConstFloat);
  EXPECT_FLOAT_EQ(f->FloatValue(), 2.0f) << "an int constant stored in a float define";
}

TEST_F(GSSemanticTree, ParametersThenLocalsGetFrameSlots) {
  const N* s = Run("int x; { int y = i; x = y; }");
  const N* block = Nth(s, 1);
  ASSERT_TRUE(block->Is(N::NodeStatement, N::Block));
  const N* y = Child(Child(Child(block, 0), 1), 0);  // VarDeclList → Declarator → Name
  EXPECT_EQ(y->slot, 6u);                            // 4 parameters, then x (5), then y
  const N* init = Child(Child(Child(block, 0), 1), 1);
  EXPECT_EQ(init->slot, 1u);
  EXPECT_NE(init->flags & GSCompiler::Local, 0u);
  EXPECT_NE(init->flags & N::LValue, 0u);
  const N* x = Child(Nth(Child(block, 0), 1), 0);
  EXPECT_EQ(x->slot, 5u);
}

TEST_F(GSSemanticTree, CallsGetTheirFunctionNumberAndConvertedArguments) {
  const N* s = Run("Take(1); Pick(1); Pick(f);",
                   "void Take(float x) { } void Pick(int x) { } void Pick(float x) { }");
  const N* take = s;
  ASSERT_TRUE(take->Is(N::NodeExpression, N::Call));
  EXPECT_EQ(take->slot, 0u);
  EXPECT_EQ(take->value, 2u);
  const N* arg = Child(take, 1);
  ASSERT_TRUE(arg->Is(N::NodeExpression, N::Operator));
  EXPECT_EQ(arg->op, N::OpCast);
  EXPECT_EQ(arg->type, uint32_t(N::TypeFloat));
  EXPECT_TRUE(Child(arg, 0)->Is(N::NodeExpression, N::Constant));
  EXPECT_EQ(Child(arg, 1)->op, int32_t(N::TypeFloat));
  const N* pickInt = Nth(s, 1);
  EXPECT_TRUE(Child(pickInt, 1)->Is(N::NodeExpression, N::Constant)) << "exact match, no cast";
  EXPECT_NE(pickInt->slot, Nth(s, 2)->slot);
  EXPECT_TRUE(Child(Nth(s, 2), 1)->Is(N::NodeExpression, N::Identifier));
}

TEST_F(GSSemanticTree, MethodCallsAreMarkedAndBoundDirectlyOnFinalClasses) {
  GSCompiler::ParseArena arena;
  GSTest::Checked checked = GSTest::Check(arena,
                                          "final class F { public int Get() { return 1; } };\n"
                                          "class U { void Run(F f) { int n = f.Get(); } };\n");
  ASSERT_TRUE(checked.passed) << (checked.log.empty() ? "" : checked.log[0]);
  const N* decl = Nth(Body(checked.root, "Run"), 0);
  const N* call = Child(Child(decl, 1), 1);
  ASSERT_TRUE(call->Is(N::NodeExpression, N::Call));
  EXPECT_NE(call->flags & GSCompiler::MethodCall, 0u);
  EXPECT_NE(call->flags & N::SpecFinal, 0u);
  EXPECT_NE(call->flags & N::SpecPublic, 0u);
  EXPECT_EQ(call->type, uint32_t(N::TypeInt));
}

TEST_F(GSSemanticTree, VoidBodyWithoutReturnGetsOne) {
  const N* s = Run("i = 1;");
  const N* ret = OrMissing(s->next);
  ASSERT_NE(ret, nullptr);
  EXPECT_TRUE(ret->Is(N::NodeStatement, N::ReturnStmt));
  EXPECT_EQ(ret->child[0], nullptr);
}

TEST_F(GSSemanticTree, JumpsAndLabelsLinkToTheirStatements) {
  const N* s =
      Run("while (i > 0) { i--; break; } switch (i) { case 1: i = 2; default: i = 3; }"
          "wait() { on \"a\", \"b\": continue; on \"c\", \"d\": i = 4; }");
  const N* loop = s;
  const N* brk = OrMissing(Child(Child(loop, 1), 0)->next);
  ASSERT_TRUE(brk->Is(N::NodeStatement, N::BreakStmt));
  EXPECT_EQ(brk->chain, loop);
  const N* sw = Nth(s, 1);
  ASSERT_TRUE(sw->Is(N::NodeStatement, N::SwitchStmt));
  EXPECT_NE(sw->flags & GSCompiler::HasDefault, 0u);
  ASSERT_NE(sw->chain, nullptr);
  EXPECT_TRUE(sw->chain->Is(N::NodeStatement, N::DefaultLabel)) << "newest first";
  ASSERT_NE(sw->chain->chain, nullptr);
  EXPECT_TRUE(sw->chain->chain->Is(N::NodeStatement, N::CaseLabel));
  EXPECT_EQ(sw->chain->chain->chain, nullptr);
  EXPECT_EQ(GSCompiler::FindEnclosingStatement(sw->chain, GSCompiler::StatementBit(N::SwitchStmt)),
            sw);
  const N* wait = Nth(s, 2);
  ASSERT_TRUE(wait->Is(N::NodeStatement, N::WaitStmt));
  ASSERT_NE(wait->chain, nullptr);
  ASSERT_NE(wait->chain->chain, nullptr);
  EXPECT_EQ(wait->chain->chain->next->chain, wait) << "continue targets the wait";
}

TEST(GSSemanticChecks, DeclarationsOnlyModeSkipsBodiesButEvaluatesDefines) {
  GSCompiler::ParseArena arena;
  GSTest::Checked lib = GSTest::Check(arena,
                                      "class Lib isclass Later { public define int N = 4 * 4;"
                                      " void F() { undeclared = 1; } };\n"
                                      "class Later { public int v; };\n",
                                      "lib.gs", true);
  EXPECT_TRUE(lib.passed);
  EXPECT_TRUE(lib.log.empty()) << lib.log[0];
  GSTest::Checked top =
      GSTest::Check(arena, "class Top { void G(Lib l) { int n = Lib.N; n = l.v; } };\n", "top.gs",
                    false, std::move(lib.symbols));
  EXPECT_TRUE(top.passed) << (top.log.empty() ? "" : top.log[0]);
  const N* init = Child(Child(Body(top.root, "G"), 1), 1);
  EXPECT_TRUE(init->Is(N::NodeExpression, N::Constant));
  EXPECT_EQ(init->IntValue(), 16);
}

TEST(GSSemanticChecks, BaseMessagesOfAnIncludedClassNameItsFile) {
  GSCompiler::ParseArena arena;
  GSTest::Checked lib =
      GSTest::Check(arena, "class Lib isclass Nowhere { public int v; };\n", "lib.gs", true);
  EXPECT_TRUE(lib.log.empty());
  GSTest::Checked top = GSTest::Check(arena, "class Top {\n void G(Lib l) { int n = l.v; } };\n",
                                      "top.gs", false, std::move(lib.symbols));
  const std::vector<std::string> expected = {
      "lib.gs(1) : Class Nowhere has not been declared, line 1."};
  EXPECT_EQ(top.log, expected);
  EXPECT_EQ(top.errors, 1u);
}

}  // namespace

// The walk's depth limit falls at the same nesting whether the innermost
// node is a leaf (a name, an empty block) or not: one level less passes.
TEST(GSSemanticChecks, NestingLimitIsTheSameForLeavesAndInnerNodes) {
  const struct {
    const char* shape;
    std::string (*source)(int depth);
    int refusedFrom;
  } cases[] = {
      {"negated name",
       [](int d) {
         std::string s = "class A { void F() { int x; x = ";
         for (int i = 0; i < d; ++i) s += "- ";
         return s + "x; } };\n";
       },
       123},
      {"empty blocks",
       [](int d) { return "class A { void F() { " + std::string(d, '{') + std::string(d, '}') +
                          " } };\n"; },
       125},
  };
  for (const auto& c : cases) {
    for (int depth : {c.refusedFrom - 1, c.refusedFrom}) {
      GSCompiler::ParseArena arena;
      const GSTest::Checked checked = GSTest::Check(arena, c.source(depth));
      bool refused = false;
      for (const std::string& line : checked.log)
        refused |= line.find("Stack overflow; code nested too deep.") != std::string::npos;
      EXPECT_EQ(refused, depth == c.refusedFrom) << c.shape << " at depth " << depth;
      EXPECT_EQ(checked.passed, !refused) << c.shape << " at depth " << depth;
    }
  }
}
