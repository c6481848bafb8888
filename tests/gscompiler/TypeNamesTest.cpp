// Type, operator and specifier names, and function signatures.
#include <gtest/gtest.h>

#include "ParseTestSupport.h"
#include "gscompiler/GSTypeNames.h"

TEST(GSTypeNames, CodesNamesAndIllegalCodes) {
  EXPECT_STREQ(GSTypeName(0), "void");
  EXPECT_STREQ(GSTypeName(11), "object[]");
  EXPECT_STREQ(GSTypeName(12), "");
  EXPECT_STREQ(GSTypeName(13), "null");
  EXPECT_STREQ(GSTypeName(14), "illegal type");
  EXPECT_STREQ(GSOperatorName(0), "--");
  EXPECT_STREQ(GSOperatorName(28), "and");
  EXPECT_STREQ(GSOperatorName(34), "new");
  EXPECT_STREQ(GSOperatorName(35), "");
  EXPECT_STREQ(GSOperatorName(-1), "");
  EXPECT_EQ(GSSpecifierNames(0x1FF),
            "public native static final thread constructor game secured define ");
  EXPECT_EQ(GSSpecifierNames(0), "");
}

TEST(GSTypeNames, ParseTypeNameTellsClassTypesApart) {
  Kiv::String cls;
  EXPECT_EQ(GSParseTypeName("Foo[]", &cls), 11u);
  EXPECT_EQ(cls, "Foo");
  EXPECT_EQ(GSParseTypeName("Foo", &cls), 5u);
  EXPECT_EQ(cls, "Foo");
  EXPECT_EQ(GSParseTypeName("Foo", nullptr), 12u);
  EXPECT_EQ(GSParseTypeName("string[]", &cls), 10u);
  EXPECT_EQ(GSParseTypeName("null", nullptr), 13u);
}

TEST(GSTypeNames, SameTypeMatchesObjectAndNullBothWays) {
  EXPECT_TRUE(GSSameType(5, "A", 13, nullptr));
  EXPECT_TRUE(GSSameType(13, nullptr, 5, "A"));
  EXPECT_TRUE(GSSameType(5, "A", 5, "A"));
  EXPECT_FALSE(GSSameType(5, "A", 5, "B"));
  EXPECT_FALSE(GSSameType(5, "A", 5, nullptr));
  EXPECT_TRUE(GSSameType(5, nullptr, 5, ""));
  EXPECT_FALSE(GSSameType(2, nullptr, 3, nullptr));
  EXPECT_FALSE(GSSameType(11, nullptr, 13, nullptr));
}

TEST(GSTypeNames, SignatureOfParsedDeclarations) {
  GSCompiler::ParseArena arena;
  GSTest::Parsed p = GSTest::Parse(
      arena, "class Foo { void Bar(int a, Foo[] b, string c); Foo Get() { return me; } };");
  ASSERT_NE(p.result.root, nullptr);
  const ParseNode* proto = p.result.root->child[2];
  Kiv::String sig;
  ASSERT_TRUE(GSFunctionSignature(proto, "Foo", true, sig));
  EXPECT_EQ(sig, "$void@Foo::Bar(int,Foo[],string)");
  ASSERT_TRUE(GSFunctionSignature(proto, nullptr, false, sig));
  EXPECT_EQ(sig, "::Bar(int,Foo[],string)");
  ASSERT_TRUE(GSFunctionSignature(proto->next, "Foo", true, sig));
  EXPECT_EQ(sig, "$Foo@Foo::Get()");
  EXPECT_FALSE(GSFunctionSignature(p.result.root, "Foo", true, sig));
  EXPECT_EQ(sig, "");
}

TEST(GSTypeNames, ReferenceTypesExcludeVoidArrayAndNoType) {
  for (uint32_t code : {4u, 5u, 7u, 8u, 9u, 10u, 11u, 13u})
    EXPECT_TRUE(GSIsReferenceType(code)) << code;
  for (uint32_t code : {0u, 1u, 2u, 3u, 6u, 12u}) EXPECT_FALSE(GSIsReferenceType(code)) << code;
}
