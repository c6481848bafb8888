#include <gtest/gtest.h>

#include <string>

#include "foundation/text/SubstituteParams.h"

namespace {

std::string Substituted(std::string text, const char* value, const char* name) {
  SubstituteParams(text, value, ParamName(name));
  return text;
}

struct Case {
  const char* text;
  const char* value;
  const char* name;
  const char* expected;
};

TEST(SubstituteParams, FillsEveryMarkerOfTheNameAndNothingElse) {
  const Case cases[] = {
      {"Unable to write output file '$(FILE_NAME)'", "a.cdp", "FILE_NAME",
       "Unable to write output file 'a.cdp'"},
      // Markers match in any letter case.
      {"'$(file_name)' and '$(File_Name)'", "x", "FILE_NAME", "'x' and 'x'"},
      {"$(X) or $(x)", "2.7", "X", "2.7 or 2.7"},
      {"$(A)$(A)$(a)", "1", "A", "111"},
      // Only the named parameter is touched.
      {"rename '$(FILE_NAME)' in '$(ARCHIVE)'", "b.cdp", "ARCHIVE",
       "rename '$(FILE_NAME)' in 'b.cdp'"},
      {"$(X)", "", "X", ""},
      {"no pattern here", "y", "X", "no pattern here"},
      {"", "y", "X", ""},
      {"$$(X)", "y", "X", "$y"},
      // An unclosed marker, or one of a longer name, stays.
      {"$(FILE_NAM", "y", "FILE_NAME", "$(FILE_NAM"},
      {"below $(LOWEST_VANDRUBUILD", "2.7", "LOWEST_VANDRUBUILD", "below $(LOWEST_VANDRUBUILD"},
      {"$ (X) $X $(XY) $(X", "y", "X", "$ (X) $X $(XY) $(X"},
      // The empty name has the marker "$()".
      {"a$()b", "-", "", "a-b"},
  };
  for (const Case& c : cases) EXPECT_EQ(Substituted(c.text, c.value, c.name), c.expected) << c.text;
}

TEST(SubstituteParams, NeverScansAnInsertedValueAgain) {
  const Case cases[] = {
      // A value that is its own marker: two markers stay two markers.
      {"$(A)$(A)", "$(A)", "A", "$(A)$(A)"},
      {"a $(X) b $(X)", "[$(X)]", "X", "a [$(X)] b [$(X)]"},
      // A value that completes a marker with the text after it.
      {"$(X)X)", "$(", "X", "$(X)"},
      {"$(X)", "$(x)", "X", "$(x)"},
  };
  for (const Case& c : cases) EXPECT_EQ(Substituted(c.text, c.value, c.name), c.expected) << c.text;
}

TEST(SubstituteParams, IsLinearOnLongTexts) {
  std::string text;
  for (int i = 0; i < 200000; ++i) text += "$(N)";
  SubstituteParams(text, "ab", ParamName("N"));
  EXPECT_EQ(text.size(), 400000u);
  EXPECT_EQ(text.find('$'), std::string::npos);
}

}  // namespace
