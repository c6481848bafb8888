// The symbol table: keys and scopes, object layout, numbering on use and
// out-of-memory handling.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "SemanticTestSupport.h"
#include "gscompiler/GSSymbolTable.h"

namespace {

using GSCompiler::GSClassSymbol;
using GSCompiler::GSSymbolTable;

GSClassSymbol* AddClass(GSSymbolTable& table, const char* name) {
  GSClassSymbol* cls = table.NewClass(name);
  EXPECT_TRUE(table.Insert(nullptr, cls, false));
  return cls;
}

GSClassSymbol* ClassOf(GSSymbolTable& table, const char* name) {
  GSCompiler::GSSymbol* s = table.Lookup(name, nullptr, false, false);
  return s != nullptr && s->IsClass() ? static_cast<GSClassSymbol*>(s) : nullptr;
}

bool IsIdentifierX(const ParseNode* n) {
  return n->Is(ParseNode::NodeExpression, ParseNode::Identifier) && std::strcmp(n->text, "x") == 0;
}
bool IsIdentifierA(const ParseNode* n) {
  return n->Is(ParseNode::NodeExpression, ParseNode::Identifier) && std::strcmp(n->text, "a") == 0;
}

}  // namespace

TEST(GSSymbolTable, InnerLocalShadowsMemberUntilItsScopeIsPopped) {
  GSSymbolTable table;
  GSClassSymbol* cls = AddClass(table, "Holder");
  GSCompiler::GSVariableSymbol* member = table.NewVariable("x");
  ASSERT_TRUE(table.Insert(cls, member, true));
  table.PushScope();
  GSCompiler::GSVariableSymbol* local = table.NewVariable("x");
  ASSERT_TRUE(table.Insert(cls, local, false));
  EXPECT_NE(local->flags & GSCompiler::Local, 0u);
  EXPECT_FALSE(table.Insert(cls, table.NewVariable("x"), false)) << "same depth twice";
  EXPECT_EQ(table.Lookup("x", cls, true, false), local);
  EXPECT_EQ(table.Lookup("x", cls, false, true), member) << "members only skips locals";
  table.PopScope();
  EXPECT_EQ(table.Lookup("x", cls, true, false), member);
  EXPECT_EQ(member->index, 0);
}

TEST(GSSymbolTable, ClassNamesKeepCaseFileNamesDoNot) {
  GSSymbolTable table;
  AddClass(table, "Foo");
  EXPECT_TRUE(table.Insert(nullptr, table.NewClass("foo"), false));
  EXPECT_STREQ(table.Lookup("foo", nullptr, false, false)->name, "foo");
  ASSERT_TRUE(table.Insert(nullptr, table.NewDependent("lib.gs", 1, 2), false));
  EXPECT_FALSE(table.Insert(nullptr, table.NewDependent("LIB.GS", 1, 2), false));
  ASSERT_NE(table.FindDependent("Lib.Gs"), nullptr);
  EXPECT_EQ(table.FindDependent("Lib.Gs")->nameCrc, 2u);
}

TEST(GSSymbolTable, ScopesBeyondTheDeepestAreSharedAndPoppedInStep) {
  GSSymbolTable table;
  GSClassSymbol* cls = AddClass(table, "Deep");
  ASSERT_TRUE(table.Insert(cls, table.NewVariable("member"), true));
  table.PushScope();
  ASSERT_TRUE(table.Insert(cls, table.NewVariable("outer"), false));
  for (int i = 0; i < 80; ++i) table.PushScope();
  EXPECT_EQ(table.Depth(), GSSymbolTable::kMaxDepth);
  ASSERT_TRUE(table.Insert(cls, table.NewVariable("inner"), false));
  for (int i = 0; i < 80; ++i) table.PopScope();
  EXPECT_EQ(table.Depth(), 1);
  EXPECT_NE(table.Lookup("outer", cls, true, false), nullptr) << "an outer scope died early";
  EXPECT_EQ(table.Lookup("inner", cls, true, false), nullptr);
  table.PopScope();
  table.PopScope();  // never below class level
  EXPECT_NE(table.Lookup("member", cls, true, false), nullptr);
  EXPECT_NE(ClassOf(table, "Deep"), nullptr);
}

TEST(GSSymbolTable, LayoutPlacesBasePartsBeforeOwnMembers) {
  GSCompiler::ParseArena arena;
  GSTest::Checked checked = GSTest::Check(arena,
                                          "class B { public int a, b, c; void F() { } };\n"
                                          "class D isclass B { int x; void G() { x = a; } };\n");
  ASSERT_TRUE(checked.passed) << (checked.log.empty() ? "" : checked.log[0]);
  const ParseNode* x = GSTest::FindNode(checked.root, IsIdentifierX);
  const ParseNode* a = GSTest::FindNode(checked.root, IsIdentifierA);
  ASSERT_NE(x, nullptr);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(x->slot, 7u);  // 2 header + (2 header + 3 members of B)
  EXPECT_EQ(a->slot, 4u);  // B's part starts at 2, its members after its header
  GSClassSymbol* d = ClassOf(*checked.symbols, "D");
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->inheritedVars, 7u);
  EXPECT_EQ(d->inheritedFuncs, 1u);
}

TEST(GSSymbolTable, MultipleInheritanceRecordsEveryAncestorOnceWithOffsets) {
  GSCompiler::ParseArena arena;
  GSTest::Checked checked = GSTest::Check(arena,
                                          "class A { int a; void Fa() { } };\n"
                                          "class B { int b, c; void Fb() { } void Fb2() { } };\n"
                                          "class C isclass A, B { int z; };\n"
                                          "class E isclass C { };\n");
  ASSERT_TRUE(checked.passed);
  GSSymbolTable& table = *checked.symbols;
  GSClassSymbol* c = ClassOf(table, "C");
  GSClassSymbol* e = ClassOf(table, "E");
  ASSERT_NE(c, nullptr);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(c->inheritedVars, 9u);  // 2 + (2 + 1) + (2 + 2)
  EXPECT_EQ(c->inheritedFuncs, 3u);
  const GSCompiler::GSBaseRecord* ra = c->FindBase(ClassOf(table, "A"));
  const GSCompiler::GSBaseRecord* rb = c->FindBase(ClassOf(table, "B"));
  ASSERT_TRUE(ra && rb);
  EXPECT_EQ(ra->p, 2);
  EXPECT_EQ(ra->q, 0);
  EXPECT_EQ(rb->p, 5);
  EXPECT_EQ(rb->q, 1);
  // E lists C, then C's ancestors with E's offsets, each once.
  std::vector<std::string> bases;  // "name p r"
  for (const GSCompiler::GSBaseRecord* r = e->Bases(); r != nullptr; r = r->next)
    bases.push_back(std::string(r->base->name) + " " + std::to_string(r->p) + " " +
                    std::to_string(r->r));
  EXPECT_EQ(bases, (std::vector<std::string>{"C 2 1", "A 4 0", "B 7 0"}));
  GSCompiler::GSSymbol* b = table.Lookup("b", e, false, true);
  EXPECT_EQ(e->VariableSlot(b), 9u);  // p(B) 7 + B's header 2 + index 0
}

TEST(GSSymbolTable, OverrideHidesTheBaseFunctionFromCallCandidates) {
  GSCompiler::ParseArena arena;
  GSTest::Checked checked = GSTest::Check(arena,
                                          "class A { public void F(int i) { } };\n"
                                          "class B isclass A { public void F(int i) { } };\n"
                                          "class C isclass B { void G() { F(1); } };\n");
  EXPECT_TRUE(checked.passed) << (checked.log.empty() ? "" : checked.log[0]);
  GSCompiler::GSFunctionSymbol* found[4];
  EXPECT_EQ(checked.symbols->FindFunctions(ClassOf(*checked.symbols, "C"), "F", 1, found, 4), 1u);
  EXPECT_STREQ(found[0]->signature, "$void@B::F(int)");
}

TEST(GSSymbolTable, LookupsNumberClassesAndFunctionsOnFirstUse) {
  GSSymbolTable table;
  GSClassSymbol* a = AddClass(table, "A");
  GSClassSymbol* b = AddClass(table, "B");
  GSCompiler::GSFunctionSymbol* f = table.NewFunction("::F()");
  ASSERT_TRUE(table.Insert(b, f, true));
  EXPECT_EQ(table.Lookup("::F()", b, false, true), f);
  EXPECT_EQ(f->id, 0);
  EXPECT_EQ(b->id, 0) << "a function's class is numbered with it";
  table.Lookup("A", nullptr, false, false);
  table.Lookup("B", nullptr, false, false);
  EXPECT_EQ(a->id, 1);
  EXPECT_EQ(b->id, 0);
  table.ClearIds();
  EXPECT_EQ(f->id, -1);
  EXPECT_EQ(a->id, -1);
  EXPECT_EQ(table.ClassIdCount(), 0);
}

TEST(GSSymbolTable, ClassThatCannotBeAllocatedIsACountedError) {
  GSCompiler::ParseArena arena;
  auto table = std::make_unique<GSSymbolTable>();
  table->LimitSymbolAllocations(1);  // the source's own file symbol only
  GSTest::Checked checked =
      GSTest::Check(arena, "class A { };\nclass B { };\n", "mem.gs", false, std::move(table));
  EXPECT_FALSE(checked.passed);
  EXPECT_EQ(checked.errors, 1u);
  EXPECT_EQ(checked.log, std::vector<std::string>{"Internal compiler error."});
}

TEST(GSSymbolTable, DumpListsFilesClassesAndMembers) {
  GSCompiler::ParseArena arena;
  GSTest::Checked checked = GSTest::Check(arena, "class A { public int n; };\n", "dump.gs");
  GSTest::VectorLog log;
  checked.symbols->Dump(&log);
  const std::vector<std::string> expected = {
      "Symbol Table",       std::string(40, '='),
      "-1:A  (dump.gs)::",  "0:0:int n public ",
      std::string(40, '='), "\nDependent \"dump.gs\", crc 0x0, filename crc 0x0\n"};
  EXPECT_EQ(log.lines, expected);
}

TEST(GSSymbolTable, DeepInheritanceEndsInCountedErrorsNotACrash) {
  // A long chain in an included unit is resolved at first use, deeper than
  // the resolution follows; one in the unit itself fills the bounded
  // base-record store. Either names the class and the limit, once.
  const auto tooMany = [](const std::string& where, const std::string& cls) {
    return where + " : too many ancestors in one compile for class '" + cls +
           "' (the limit is 1048576: each class counts every class it inherits from, directly "
           "or not)";
  };
  std::string chain = "class C0 { };\n";
  for (int i = 1; i < 3000; ++i)
    chain += "class C" + std::to_string(i) + " isclass C" + std::to_string(i - 1) + " { };\n";
  GSCompiler::ParseArena arena;
  GSTest::Checked lib = GSTest::Check(arena, chain, "lib.gs", true);
  EXPECT_TRUE(lib.passed);
  GSTest::Checked top = GSTest::Check(arena, "class Top { void F(C2999 c) { c.Missing(); } };\n",
                                      "top.gs", false, std::move(lib.symbols));
  EXPECT_FALSE(top.passed);
  ASSERT_FALSE(top.log.empty());
  EXPECT_EQ(top.log[0], tooMany("lib.gs(3000)", "C2999"));
  EXPECT_EQ(top.errors, top.log.size());

  GSCompiler::ParseArena arena2;
  GSTest::Checked flat =
      GSTest::Check(arena2, chain + "class Top { void F(C2999 c) { c.Missing(); } };\n");
  EXPECT_FALSE(flat.passed);
  ASSERT_FALSE(flat.log.empty());
  EXPECT_EQ(flat.log[0], tooMany("test.gs(1449)", "C1448"));
  EXPECT_EQ(flat.errors, flat.log.size());
  size_t reports = 0;
  for (const std::string& line : flat.log) {
    EXPECT_EQ(line.find("cyclic"), std::string::npos) << line;
    reports += line.find("too many ancestors") != std::string::npos;
  }
  EXPECT_EQ(reports, 1u);
}

// Thousands of members entered in scrambled order, with locals of the same
// names at several depths: every chain stays sorted as the library writer
// walks it (name, then deeper first), every name finds its innermost
// declaration, and popping scopes unlinks exactly their symbols.
TEST(GSSymbolTable, ManyMembersKeepTheirChainsOrderedThroughScopes) {
  GSSymbolTable table;
  GSClassSymbol* cls = AddClass(table, "Many");
  constexpr int kNames = 3000;
  auto name = [](int i) { return "m" + std::to_string((i * 7919) % kNames); };
  std::vector<GSCompiler::GSSymbol*> members;
  for (int i = 0; i < kNames; ++i) {
    members.push_back(table.NewVariable(name(i).c_str()));
    ASSERT_TRUE(table.Insert(cls, members.back(), true));
  }
  std::vector<GSCompiler::GSSymbol*> locals;
  for (int depth = 1; depth <= 3; ++depth) {
    table.PushScope();
    for (int i = 0; i < kNames; i += 3 * depth) {
      locals.push_back(table.NewVariable(name(i).c_str()));
      ASSERT_TRUE(table.Insert(cls, locals.back(), false));
      EXPECT_FALSE(table.Insert(cls, table.NewVariable(name(i).c_str()), false));
    }
  }
  auto checkChains = [&](size_t expected) {
    size_t seen = 0;
    // One list: bucket by bucket in ascending order, each chain sorted.
    const Utils::IHashNode* previous = nullptr;
    for (const Utils::IHashNode* n = cls->Members().first; n != nullptr; n = n->next) {
      const uint32_t b = n->Hash() % GSClassSymbol::kMemberBuckets;
      if (previous != nullptr) {
        const uint32_t before = previous->Hash() % GSClassSymbol::kMemberBuckets;
        EXPECT_LE(before, b);
        if (before == b) {
          EXPECT_LT(previous->Compare(*n), 0) << "bucket " << b;
        }
      }
      previous = n;
      ++seen;
    }
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(cls->Members().count, expected);
  };
  checkChains(members.size() + locals.size());
  for (int i = 0; i < kNames; ++i) {
    GSCompiler::GSSymbol* found = table.Lookup(name(i).c_str(), cls, false, false);
    ASSERT_NE(found, nullptr);
    const int32_t deepest = i % 9 == 0 ? 3 : i % 6 == 0 ? 2 : i % 3 == 0 ? 1 : 0;
    EXPECT_EQ(found->depth, deepest) << name(i);
    EXPECT_EQ(table.Lookup(name(i).c_str(), cls, false, true)->depth, 0);
  }
  for (int depth = 3; depth >= 1; --depth) table.PopScope();
  checkChains(members.size());
  for (GSCompiler::GSSymbol* m : members) EXPECT_EQ(table.Lookup(m->name, cls, false, false), m);
}

// Overloads spread over several chains are found by name and argument
// count alone, in member-table order, and never by a longer name sharing
// the prefix.
TEST(GSSymbolTable, FunctionCandidatesAreFoundByNameAcrossChains) {
  GSSymbolTable table;
  GSClassSymbol* cls = AddClass(table, "Calls");
  const char* names[] = {"::F(int)",  "::F(float)", "::F(string)", "::F(int,int)",
                         "::Fx(int)", "::G(int)",   "::F()"};
  for (const char* n : names) {
    GSCompiler::GSFunctionSymbol* f = table.NewFunction(n);
    f->paramCount =
        uint32_t(std::count(n, n + std::strlen(n), ',') + (std::strstr(n, "()") ? 0 : 1));
    ASSERT_TRUE(table.Insert(cls, f, true));
  }
  struct Case {
    const char* name;
    uint32_t arguments;
    size_t expected;
  };
  for (const Case& c :
       {Case{"F", 1, 3}, Case{"F", 2, 1}, Case{"F", 0, 1}, Case{"Fx", 1, 1}, Case{"H", 1, 0}}) {
    GSCompiler::GSFunctionSymbol* out[8] = {};
    const uint32_t n = table.FindFunctions(cls, c.name, c.arguments, out, 8);
    EXPECT_EQ(n, c.expected) << c.name << "/" << c.arguments;
    for (uint32_t i = 0; i < n; ++i) EXPECT_TRUE(out[i]->HasName(c.name));
    for (uint32_t i = 1; i < n; ++i) {
      const uint32_t a = out[i - 1]->Hash() % GSClassSymbol::kMemberBuckets;
      const uint32_t b = out[i]->Hash() % GSClassSymbol::kMemberBuckets;
      EXPECT_TRUE(a < b || (a == b && out[i - 1]->Compare(*out[i]) < 0)) << "member-table order";
    }
  }
  GSCompiler::GSFunctionSymbol* one[1] = {};
  EXPECT_EQ(table.FindFunctions(cls, "F", 1, one, 1), 1u) << "bounded by max";
}

// Classes, functions and variables live in pools of their own slot sizes:
// symbols freed by a popped scope or a discard make room for new ones of
// their kind and never overlap a live symbol of any kind.
TEST(GSSymbolTable, FreedSymbolsOfEveryKindAreReusedWithoutOverlap) {
  GSSymbolTable table;
  std::vector<GSClassSymbol*> classes;
  std::vector<GSCompiler::GSSymbol*> live;
  for (int round = 0; round < 200; ++round) {
    const std::string n = std::to_string(round);
    GSClassSymbol* cls = AddClass(table, ("K" + n).c_str());
    classes.push_back(cls);
    live.push_back(cls);
    GSCompiler::GSVariableSymbol* member = table.NewVariable(("v" + n).c_str());
    ASSERT_TRUE(table.Insert(cls, member, true));
    live.push_back(member);
    GSCompiler::GSFunctionSymbol* function = table.NewFunction(("::F" + n + "()").c_str());
    ASSERT_TRUE(table.Insert(cls, function, true));
    live.push_back(function);
    table.Discard(table.NewClass(("Gone" + n).c_str()));
    table.Discard(table.NewFunction(("::Gone" + n + "()").c_str()));
    table.PushScope();
    for (int i = 0; i < 3; ++i)
      ASSERT_TRUE(table.Insert(cls, table.NewVariable(("t" + std::to_string(i)).c_str()), false));
    table.PopScope();
  }
  std::sort(live.begin(), live.end());
  for (size_t i = 1; i < live.size(); ++i) {
    const auto* before = reinterpret_cast<const char*>(live[i - 1]);
    const size_t size = live[i - 1]->IsClass()      ? sizeof(GSClassSymbol)
                        : live[i - 1]->IsFunction() ? sizeof(GSCompiler::GSFunctionSymbol)
                                                    : sizeof(GSCompiler::GSVariableSymbol);
    EXPECT_LE(before + size, reinterpret_cast<const char*>(live[i])) << "symbols overlap";
  }
  for (size_t i = 0; i < classes.size(); ++i) {
    const std::string n = std::to_string(i);
    ASSERT_EQ(ClassOf(table, ("K" + n).c_str()), classes[i]);
    GSCompiler::GSSymbol* member = table.Lookup(("v" + n).c_str(), classes[i], false, false);
    ASSERT_NE(member, nullptr);
    EXPECT_STREQ(member->name, ("v" + n).c_str());
    EXPECT_EQ(table.Lookup("t0", classes[i], false, false), nullptr) << "popped with its scope";
  }
}

// Each class keeps its members as one list of all its chains. Members
// entered into several classes in turn, with locals pushed and popped in
// between, stay in their own class's list, in chain order, and the global
// list holds every class once.
TEST(GSSymbolTable, MemberListsOfInterleavedClassesStayApart) {
  GSSymbolTable table;
  constexpr int kClasses = 5;
  constexpr int kNames = 200;
  std::vector<GSClassSymbol*> classes;
  for (int c = 0; c < kClasses; ++c)
    classes.push_back(AddClass(table, ("Part" + std::to_string(c)).c_str()));
  std::vector<std::vector<GSCompiler::GSSymbol*>> own(kClasses);
  for (int i = 0; i < kNames; ++i) {
    for (int c = 0; c < kClasses; ++c) {
      // Each class gets a different share of the names, in its own order.
      if ((i + c) % (c + 1) != 0) continue;
      const std::string name = "n" + std::to_string((i * 31 + c * 7) % kNames);
      GSCompiler::GSVariableSymbol* v = table.NewVariable(name.c_str());
      if (!table.Insert(classes[c], v, true)) {
        table.Discard(v);
        continue;
      }
      own[c].push_back(v);
    }
    if (i % 50 == 49) {
      // Locals in every class, all popped again.
      table.PushScope();
      for (int c = 0; c < kClasses; ++c)
        ASSERT_TRUE(table.Insert(classes[c], table.NewVariable("n0"), false));
      table.PopScope();
    }
  }
  for (int c = 0; c < kClasses; ++c) {
    SCOPED_TRACE(c);
    std::vector<const GSCompiler::GSSymbol*> walked;
    const Utils::IHashNode* previous = nullptr;
    for (const Utils::IHashNode* n = classes[c]->Members().first; n != nullptr; n = n->next) {
      const auto* s = static_cast<const GSCompiler::GSSymbol*>(n);
      EXPECT_EQ(s->owner, classes[c]);
      EXPECT_EQ(s->depth, 0);
      if (previous != nullptr) {
        const uint32_t a = previous->Hash() % GSClassSymbol::kMemberBuckets;
        const uint32_t b = n->Hash() % GSClassSymbol::kMemberBuckets;
        EXPECT_TRUE(a < b || (a == b && previous->Compare(*n) < 0)) << s->name;
      }
      previous = n;
      walked.push_back(s);
    }
    std::vector<const GSCompiler::GSSymbol*> expected(own[c].begin(), own[c].end());
    std::sort(walked.begin(), walked.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(walked, expected);
    EXPECT_EQ(classes[c]->Members().count, own[c].size());
  }
  size_t globals = 0;
  for (const Utils::IHashNode* n = table.Globals().first; n != nullptr; n = n->next) ++globals;
  EXPECT_EQ(globals, size_t{kClasses});
}

// The name hash places every symbol in its chain, and so fixes the order
// of listings and of the library's records: its values must not drift.
TEST(GSSymbol, NameHashValuesAreFixed) {
  using GSCompiler::GSSymbol;
  const struct {
    uint32_t kind;
    const char* name;
    uint32_t hash;
  } cases[] = {
      {GSCompiler::SymbolVariable, "", 0},
      {GSCompiler::SymbolVariable, "a", 97},
      {GSCompiler::SymbolVariable, "AB", 261},
      {GSCompiler::SymbolFunction, "Sum7", 3676},
      {GSCompiler::SymbolVariable, "count12", 112832},
      {GSCompiler::SymbolVariable, "\xe9", 4294967273u},  // bytes count signed
      {GSCompiler::SymbolDependent, "AB", 389},           // file names fold case
      {GSCompiler::SymbolDependent, "Ab\xe9", 1144},
  };
  for (const auto& c : cases) EXPECT_EQ(GSSymbol(c.kind, c.name).NameHash(), c.hash) << c.name;
  EXPECT_EQ(GSSymbol(GSCompiler::SymbolVariable, nullptr).NameHash(), 0u);
}
