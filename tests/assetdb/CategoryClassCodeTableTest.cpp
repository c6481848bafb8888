#include "assetdb/protocol/CategoryClassCodeTable.h"

#include <gtest/gtest.h>

#include "assetdb/protocol/AssetText.h"

namespace {

TEST(CategoryClassCodeTable, LookupTakesTheFirstFittingRowIgnoringCase) {
  const struct {
    const char *kind, *code, *categories;
  } cases[] = {
      {"traincar", "AA", "TR;TV;LOC;ELEC"},  // the first row
      {"TRAINCAR", "aa", "TR;TV;LOC;ELEC"},
      {"", "ZY", "TGS"},  // the last row; an empty kind fits every row
      {"traincar", "as", "TR;TV;TDR"},
      {"traincar", "RP", "TR;TV;RCR;DIES"},
      {"scenery", "BR", "BD;RRD"},
      {"groundtexture", "FT", "FL;SCEN"},
      {"nosuchkind", "ft", "FL;SCEN"},  // a row for any kind
      {"", "TR", "TK;RLS"},
      {"bridge", "TR", "TK;RLS"},
      {"TrainCar", "xgt", "TR;TV;FRT;HOPP"},
      {"spline", "SP", "RD;SPLN"},
      {"track", "SP", "SY;SPLN"},
      {"mesh", "ZZ", ""},
      {"traincar", "??", ""},
      {"nosuchkind", "AA", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LookupCategoryForClassCode(c.kind, c.code), c.categories) << c.kind << " " << c.code;
  }
  const CategoryClassCodeRow& end = CategoryClassCodeTable[kCategoryClassCodeRows];
  EXPECT_TRUE(end.categories.empty());
}

}  // namespace
