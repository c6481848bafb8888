#include "assetdb/protocol/CategoryMatch.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct MatchCase {
  const char* categories;
  const char* expression;
  bool matches;
};

TEST(CategoryMatch, ExpressionCases) {
  const MatchCase cases[] = {
      {"", "-ACTV", true},
      {"", "ACTV", false},
      {nullptr, "-ACTV", true},
      {"CMP;MESHX", "MESH", false},
      {"CMP;MESH", "MESH", true},
      {"CMP;MESH", "mesh", false},
      {"MES", "MESH", false},
      {"X", "A||B", true},
      {"X", "|A", true},
      {"X", "A|", false},
      {"A", "A|", true},
      {"CMP;MESH", nullptr, true},
      {"CMP;MESH", "", true},
      {"", "", true},
      {"CMP;MESH", "CMP;MESH|BD;-ACTV|VE|SCEN", true},
      {"BD", "CMP;MESH|BD;-ACTV|VE|SCEN", true},
      {"BD;ACTV", "CMP;MESH|BD;-ACTV|VE|SCEN", false},
      {"CMP", "CMP;MESH|BD;-ACTV|VE|SCEN", false},
      {"XX;SCEN", "CMP;MESH|BD;-ACTV|VE|SCEN", true},
      {"A;B", "A;;;B", true},
      {"A", "A;;", true},
      {"A", "--A", true},
      {"A", "---A", false},
      {"A", "-", true},
      {"A", ";A", false},
      {"TR;TV", "TR;TV", true},
      {"?WA;X", "?WA", true},
  };
  for (const MatchCase& c : cases) {
    EXPECT_EQ(MatchCategoryExpression(c.categories, c.expression), c.matches)
        << "categories '" << (c.categories ? c.categories : "(null)") << "' expression '"
        << (c.expression ? c.expression : "(null)") << "'";
  }
}

TEST(CategoryMatch, TermStopsAtSeparators) {
  EXPECT_TRUE(MatchCategoryTerm("A;B", "B;C"));
  EXPECT_TRUE(MatchCategoryTerm("A;B", "A|C"));
  EXPECT_FALSE(MatchCategoryTerm("A;B", ""));
  EXPECT_FALSE(MatchCategoryTerm("A;B", nullptr));
  EXPECT_TRUE(MatchCategoryTerm("A;B", "-C"));
}

TEST(CategoryMatch, AddCategoryTermsMergesOnlyMissingTerms) {
  std::string result;
  AddCategoryTerms(result, "TR;#X", "X;;Y");
  EXPECT_EQ(result, "TR;#X;#Y");
  AddCategoryTerms(result, "", "A;A");
  EXPECT_EQ(result, "#A");
  AddCategoryTerms(result, "A", ";");
  EXPECT_EQ(result, "A;#");
  AddCategoryTerms(result, "A", "");
  EXPECT_EQ(result, "A");
  // A '|' separates terms like ';', so the merge always consumes its input.
  AddCategoryTerms(result, "", "|B||C|");
  EXPECT_EQ(result, "#;#B;#C");
}

}  // namespace
