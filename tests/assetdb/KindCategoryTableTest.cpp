// The kind-to-categories table behind asset lists by kind: derived rows of
// the category-class table, our own rows, and kinds without an entry.
#include <gtest/gtest.h>

#include "assetdb/client/KindCategoryTable.h"

TEST(KindCategoryTable, KindsGiveTheCodesTheirRowsShareOrOurOwn) {
  const struct {
    const char* kind;
    const char* categories;
  } kCases[] = {
      {"traincar", "TR;TV"},   {"mesh", "CMP;MESH"},       {"bridge", "TK"},
      {"industry", "BD;ACTV"}, {"environment", "TX;ENV;SKYS"}, {"consist", "CN"},
      {"scenery", ""},         {"track", ""},              {"TrainCar", ""},
      {"", ""},                {"no-such-kind", ""},
  };
  for (const auto& c : kCases) EXPECT_EQ(KindCategoryTable(c.kind), c.categories) << c.kind;
}
