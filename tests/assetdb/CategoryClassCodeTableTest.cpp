#include "assetdb/protocol/CategoryClassCodeTable.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The documented lookup rule, applied to the table.
std::string Lookup(const std::string& kind, const std::string& code) {
  for (const CategoryClassCodeRow* row = CategoryClassCodeTable; !row->categories.empty(); ++row) {
    const bool kindFits =
        kind.empty() || row->kind[0] == '\0' || Kiv::EqualsIgnoreCase(kind, row->kind);
    if (kindFits && Kiv::EqualsIgnoreCase(code, row->code)) return row->categories;
  }
  return std::string();
}

TEST(CategoryClassCodeTable, HoldsItsRowsThenTheEndRow) {
  for (uint32_t i = 0; i < kCategoryClassCodeRows; ++i) {
    const CategoryClassCodeRow& row = CategoryClassCodeTable[i];
    EXPECT_FALSE(row.categories.empty()) << i;
    const std::string code = row.code;
    EXPECT_TRUE(code.size() == 2 || code.size() == 3) << i;
  }
  const CategoryClassCodeRow& end = CategoryClassCodeTable[kCategoryClassCodeRows];
  EXPECT_STREQ(end.kind, "");
  EXPECT_STREQ(end.code, "");
  EXPECT_TRUE(end.categories.empty());
}

TEST(CategoryClassCodeTable, RowsSitWhereTheyBelong) {
  const CategoryClassCodeRow& first = CategoryClassCodeTable[0];
  EXPECT_STREQ(first.kind, "traincar");
  EXPECT_STREQ(first.code, "AA");
  EXPECT_EQ(first.categories, "TR;TV;LOC;ELEC");
  const CategoryClassCodeRow& last = CategoryClassCodeTable[kCategoryClassCodeRows - 1];
  EXPECT_STREQ(last.kind, "tintgarth-skin");
  EXPECT_STREQ(last.code, "ZY");
  EXPECT_EQ(last.categories, "TGS");
  const CategoryClassCodeRow& anyKind = CategoryClassCodeTable[27];
  EXPECT_STREQ(anyKind.kind, "");
  EXPECT_STREQ(anyKind.code, "FT");
}

TEST(CategoryClassCodeTable, EarlierRowsWinAndCodesIgnoreCase) {
  EXPECT_EQ(Lookup("traincar", "as"), "TR;TV;TDR");
  EXPECT_EQ(Lookup("traincar", "RP"), "TR;TV;RCR;DIES");
  EXPECT_EQ(Lookup("scenery", "BR"), "BD;RRD");
  EXPECT_EQ(Lookup("groundtexture", "FT"), "FL;SCEN");
  EXPECT_EQ(Lookup("", "TR"), "TK;RLS");
  EXPECT_EQ(Lookup("bridge", "TR"), "TK;RLS");
  EXPECT_EQ(Lookup("TrainCar", "xgt"), "TR;TV;FRT;HOPP");
  EXPECT_EQ(Lookup("spline", "SP"), "RD;SPLN");
  EXPECT_EQ(Lookup("track", "SP"), "SY;SPLN");
  EXPECT_EQ(Lookup("mesh", "ZZ"), "");
}

}  // namespace
