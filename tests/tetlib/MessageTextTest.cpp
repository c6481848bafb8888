#include <gtest/gtest.h>

#include <string>

#include "tetlib/MessageText.h"

namespace {

using TETLib::FormatMessage;

TEST(MessageText, FormatsTextsWhoseConversionsFitTheParameters) {
  EXPECT_EQ(FormatMessage("The tag '%s' in '%s' is obsolete.", {"light", "scenery"}),
            "The tag 'light' in 'scenery' is obsolete.");
  EXPECT_EQ(FormatMessage("'%s' must hold %d values, not %d.", {"scale", 3, 2}),
            "'scale' must hold 3 values, not 2.");
  EXPECT_EQ(FormatMessage("between %g and %.1f", {"x", 1.0, 0.5}), "between %g and %.1f");
  EXPECT_EQ(FormatMessage("%s between %g and %.1f", {"x", 1.0, 0.5}), "x between 1 and 0.5");
  EXPECT_EQ(FormatMessage("[%-4s|%03d]", {"ab", 7}), "[ab  |007]");
  EXPECT_EQ(FormatMessage("100%% of '%s'", {"x"}), "100% of 'x'");
  // Parameters the text does not use are left out.
  EXPECT_EQ(FormatMessage("No lights here.", {"x", 1}), "No lights here.");
  // A parameter's own percent signs are kept as they are.
  EXPECT_EQ(FormatMessage("tag '%s'", {"50%%"}), "tag '50%%'");
}

TEST(MessageText, UsesADamagedTextAsItStands) {
  const char* texts[] = {
      "The tag '%s' holds %d",  // more conversions than parameters
      "The tag %d",             // an integer where a text is given
      "The tag '%s' %n",        // a conversion that writes
      "The tag '%s' %ls",       // a length modifier
      "The tag '%*s'",          // a width taken from the arguments
      "The tag '%9999s'",       // a field too wide
      "The tag '%s' is 100%",   // a lone percent sign at the end
      "The tag '%s' is %q",     // an unknown conversion
  };
  for (const char* text : texts) EXPECT_EQ(FormatMessage(text, {"light"}), text);
}

}  // namespace
