#include <gtest/gtest.h>

#include <string>

#include "foundation/SubstituteParams.h"

namespace {

std::string Substituted(std::string text, const char* name, const char* value) {
  SubstituteParams(text, name, value);
  return text;
}

TEST(SubstituteParams, ReplacesEveryOccurrenceInAnyLetterCase) {
  EXPECT_EQ(Substituted("Unable to write output file '$(FILE_NAME)'", "FILE_NAME", "a.cdp"),
            "Unable to write output file 'a.cdp'");
  EXPECT_EQ(Substituted("'$(file_name)' and '$(File_Name)'", "FILE_NAME", "x"), "'x' and 'x'");
  EXPECT_EQ(Substituted("$(A)$(A)$(a)", "A", "1"), "111");
  // Only the named parameter is touched.
  EXPECT_EQ(Substituted("rename '$(FILE_NAME)' in '$(ARCHIVE)'", "ARCHIVE", "b.cdp"),
            "rename '$(FILE_NAME)' in 'b.cdp'");
  EXPECT_EQ(Substituted("$(X)", "X", ""), "");
}

TEST(SubstituteParams, LeavesNearMissesAlone) {
  EXPECT_EQ(Substituted("no pattern here", "X", "y"), "no pattern here");
  EXPECT_EQ(Substituted("$(FILE_NAM", "FILE_NAME", "y"), "$(FILE_NAM");
  EXPECT_EQ(Substituted("$ (X) $X $(XY) $(X", "X", "y"), "$ (X) $X $(XY) $(X");
  EXPECT_EQ(Substituted("", "X", "y"), "");
  EXPECT_EQ(Substituted("$$(X)", "X", "y"), "$y");
}

TEST(SubstituteParams, NeverScansAnInsertedValueAgain) {
  // A value that contains its own pattern would loop forever if rescanned.
  EXPECT_EQ(Substituted("a $(X) b $(X)", "X", "[$(X)]"), "a [$(X)] b [$(X)]");
  // A value that completes a pattern with the text after it is not rescanned.
  EXPECT_EQ(Substituted("$(X)X)", "X", "$("), "$(X)");
  // A value that is itself a pattern stays literal.
  EXPECT_EQ(Substituted("$(X)", "X", "$(x)"), "$(x)");
}

TEST(SubstituteParams, IsLinearOnLongTexts) {
  std::string text;
  for (int i = 0; i < 200000; ++i) text += "$(N)";
  SubstituteParams(text, "N", "ab");
  EXPECT_EQ(text.size(), 400000u);
  EXPECT_EQ(text.find('$'), std::string::npos);
}

}  // namespace
