#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/tetlib/TetTestSupport.h"

namespace {

using TETLib::CompulsoryMap;
using TETLib::Container;

class ContainerTest : public TetTest {};

TEST_F(ContainerTest, DefinitionHelpersFollowTheirLookupRules) {
  const Soup typed =
      Parse("container-type0 \"effect-attachment\"\ncontainer-type1 \"effect-corona\"\n");
  EXPECT_EQ(Container::FindContainerType(typed, Kiv::PString("corona")).Str(), "effect-corona");
  EXPECT_EQ(Container::FindContainerType(typed, Kiv::PString("sparkle")).Str(),
            "effect-attachment");

  const Soup numbered = Parse(
      "subpossibilities\n{\n  named\n  {\n    type \"int\"\n  }\n  entry\n  {\n    numarray 1\n  "
      "}\n}\n");
  const auto marker = [](const Soup& entry) {
    return entry.GetNamedTag(Kiv::PString("numarray")).Str();
  };
  EXPECT_EQ(marker(Container::FindSubContainerDefinition(numbered, Kiv::PString("7"))), "1");
  EXPECT_EQ(marker(Container::FindSubContainerDefinition(numbered, Kiv::PString("0"))), "1");
  EXPECT_TRUE(Container::FindSubContainerDefinition(numbered, Kiv::PString("letters")).Empty());
  EXPECT_FALSE(Container::FindSubContainerDefinition(numbered, Kiv::PString("named")).Empty());

  const Soup compulsory = Parse(
      "subpossibilities\n{\n  a\n  {\n    compulsory 1.0\n  }\n  b\n  {\n    compulsory 0\n  }\n"
      "  c\n  {\n    compulsory -1\n  }\n  d\n  {\n    element-type \"x\"\n    compulsory 3.5\n  "
      "}\n}\n");
  CompulsoryMap tags(&Kiv::PString::TextLess), containers(&Kiv::PString::TextLess);
  Container::CollectCompulsoryTags(compulsory, tags);
  Container::CollectCompulsoryContainers(compulsory, containers);
  ASSERT_EQ(tags.size(), 1u);
  EXPECT_EQ(tags.begin()->first.Str(), "a");
  ASSERT_EQ(containers.size(), 1u);
  EXPECT_FLOAT_EQ(containers.begin()->second, 3.5f);
}

int gCalls = 0;
bool Fails(Container&, Soup*) {
  return ++gCalls, false;
}
bool Passes(Container&, Soup*) {
  return ++gCalls, true;
}

TEST_F(ContainerTest, ChildChecksRunEveryValidator) {
  Container container;
  EXPECT_TRUE(container.RunChildChecks());
  container.AddValidator(Fails, Soup());
  container.AddValidator(Passes, Soup());
  container.AddValidator(Passes, Soup());
  gCalls = 0;
  EXPECT_FALSE(container.RunChildChecks());
  EXPECT_EQ(gCalls, 3);
}

TEST_F(ContainerTest, FrontTagsLeadInTheirOwnOrder) {
  Container container;
  for (const char* name : {"a", "Username", "b", "kuid"}) AddTag(container, name, "", "");
  container.MoveFrontTags();
  std::vector<std::string> names;
  for (const auto& tag : container.Tags()) names.push_back(tag->name.Str());
  EXPECT_EQ(names, (std::vector<std::string>{"Username", "kuid", "a", "b"}));
}

}  // namespace
