// The configuration text parser: items, values and blocks, typed values,
// and the texts it refuses.
#include "kiv/basics/ConfigParser.h"

#include <gtest/gtest.h>

namespace {

TEST(ConfigParser, ItemsValuesAndBlocksComeOutAsATree) {
  Kiv::ConfigParser parser;
  ASSERT_EQ(parser.ParseText("# head\nversion 1.00\nmesh 0 { name \"a b.im\" }\n"
                             "MESH far{name x.im animated Yes}// tail\noffset -0.5\n"),
            Kiv::ConfigParser::kOk)
      << parser.Error();
  EXPECT_FLOAT_EQ(parser.GetVersion(), 1.0f);
  const Kiv::ConfigNode& root = parser.GetRoot();
  ASSERT_EQ(root.children.size(), 3u);
  EXPECT_EQ(root.Count("mesh"), 2u);
  const Kiv::ConfigNode& far = root.children[1];
  EXPECT_EQ(far.value, "far");
  EXPECT_TRUE(far.hasBlock);
  EXPECT_EQ(root.children[0].GetText("name", ""), "a b.im");
  EXPECT_TRUE(far.GetBool("animated", false));
  EXPECT_FLOAT_EQ(root.GetFloat("Offset", 0.0f), -0.5f);
  EXPECT_FLOAT_EQ(root.GetFloat("missing", 7.0f), 7.0f);
  EXPECT_FLOAT_EQ(far.GetFloat("name", 3.0f), 3.0f) << "not a number";
}

TEST(ConfigParser, MalformedTextIsRefusedWithItsLine) {
  const struct {
    const char* text;
    const char* error;
  } cases[] = {
      {"", "line 1: the text must start"},
      {"mesh 0 { }", "line 1: the text must start"},
      {"version x\n", "line 1: the text must start"},
      {"version 1\nmesh 0 {\n name a\n", "line 4: a block is not closed"},
      {"version 1\n}\n", "line 2: '}' without a block"},
      {"version 1\nkey\n", "needs a value or a block"},
      {"version 1\nkey \"open\n", "needs a value or a block"},
      {"version 1\n\"quoted\" 1", "a key is expected"},
  };
  for (const auto& c : cases) {
    Kiv::ConfigParser parser;
    EXPECT_EQ(parser.ParseText(c.text), Kiv::ConfigParser::kSyntaxError) << c.text;
    EXPECT_NE(parser.Error().find(c.error), std::string::npos) << parser.Error();
    EXPECT_TRUE(parser.GetRoot().children.empty());
  }
  std::string deep = "version 1\n";
  for (int i = 0; i < 40; ++i) deep += "a {";
  Kiv::ConfigParser parser;
  EXPECT_EQ(parser.ParseText(deep), Kiv::ConfigParser::kSyntaxError);
  EXPECT_EQ(parser.Parse("/nonexistent/x.lm.txt"), Kiv::ConfigParser::kOpenFailed);
}

}  // namespace
