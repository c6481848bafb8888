// The project's own definitions (tetlib/TETData) define every kind and
// container the checks ask for, and hold together: every name they refer
// to exists, every type and validator keyword is one the library knows.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

#include "tests/tetlib/TetTestSupport.h"
#include "tetlib/Validators.h"

namespace {

using TETLib::Container;

class OwnDefinitionsTest : public TetTest {
 protected:
  void SetUp() override {
    TetTest::SetUp();
    UseOwnDefinitions();
  }

  // Checks one entry of "subpossibilities", "tagarray" or "obsolete-tag".
  void CheckEntry(const std::string& where, const Soup& entry) {
    const std::string elementType = entry.GetNamedTag(Kiv::PString("element-type")).Str();
    if (!elementType.empty()) {
      EXPECT_FALSE(Container::GetDefinition(Kiv::PString(elementType)).Empty())
          << where << " -> " << elementType;
    }
    for (uint32_t i = 0; i < 8; ++i) {
      const Kiv::PString type =
          entry.GetNamedTag(Kiv::PString("container-type" + std::to_string(i)));
      if (type.Empty()) continue;
      EXPECT_FALSE(Container::GetDefinition(type).Empty()) << where << " -> " << type.View();
    }
    const std::string icon = entry.GetNamedTag(Kiv::PString("icon")).Str();
    if (icon == "smoke") return CheckDefinition(where, entry);
    if (!elementType.empty()) return;
    EXPECT_EQ(kTypes.count(entry.GetNamedTag(Kiv::PString("type")).Str()), 1u) << where;
    const std::string source = entry.GetNamedTag(Kiv::PString("source")).Str();
    if (!source.empty() && !kRegistrySources.count(source)) {
      EXPECT_NE(Manager().FindListFile(Kiv::PString(source)), nullptr)
          << where << " source " << source;
    }
    const Soup validation = entry.GetNamedSoup(Kiv::PString("validation"));
    for (uint32_t i = 0; i < validation.CountTags(); ++i) {
      bool known = false;
      for (const TETLib::TagValidatorRow& row : TETLib::TagValidatorTable())
        known |= row.keyword == validation.GetIndexedTagName(i);
      EXPECT_TRUE(known) << where << " validator " << validation.GetIndexedTagName(i).View();
    }
  }

  void CheckDefinition(const std::string& where, const Soup& definition) {
    const Soup inherit = definition.GetNamedSoup(Kiv::PString("inherit"));
    for (uint32_t i = 0; i < inherit.CountTags(); ++i) {
      EXPECT_FALSE(Container::GetDefinition(inherit.GetIndexedTagName(i)).Empty()) << where;
    }
    for (const char* list : {"subpossibilities", "tagarray", "obsolete-tag"}) {
      const Soup entries = definition.GetNamedSoup(Kiv::PString(list));
      for (uint32_t i = 0; i < entries.CountTags(); ++i) {
        CheckEntry(where + "/" + entries.GetIndexedTagName(i).Str(), entries.GetIndexedSoup(i));
      }
    }
    const Soup anyTag = definition.GetNamedSoup(Kiv::PString("any-tag"));
    if (!anyTag.Empty()) CheckEntry(where + "/any-tag", anyTag);
    const Soup validation = definition.GetNamedSoup(Kiv::PString("validation"));
    for (uint32_t i = 0; i < validation.CountTags(); ++i) {
      bool known = false;
      for (const TETLib::ContainerValidatorRow& row : TETLib::ContainerValidatorTable()) {
        known |= row.keyword == validation.GetIndexedTagName(i);
      }
      EXPECT_TRUE(known) << where << " validator " << validation.GetIndexedTagName(i).View();
    }
  }

  const std::set<std::string> kTypes = {
      "float",    "string",       "int",        "bool",         "vector2",
      "vector3",  "rgb",          "vector4",    "vector5",      "floatlist",
      "combobox", "intcombobox",  "listbox",    "doublestring", "kuid",
      "filepath", "filepathedit", "stringkuid", "kuidbrowser",  "stringkuidbrowser"};
  const std::set<std::string> kRegistrySources = {"attachment", "mesh-table", "attached-track",
                                                  "queues"};
};

TEST_F(OwnDefinitionsTest, EveryKindAndContainerTheChecksAskForIsDefined) {
  std::istringstream kinds(
      "scenery scenery-trackside buildable bridge double-track tunnel track chunky-track "
      "mesh-reducing-track obsolete-track spline traincar bogey interior pantograph "
      "drivercharacter map mojunction mocrossing mosignal mospeedboard turntable groundtexture "
      "texture mesh");
  for (std::string kind; kinds >> kind;) {
    EXPECT_FALSE(Container::FindTopLevelDefinition(Kiv::PString(kind.c_str())).Empty()) << kind;
  }
  for (const char* name :
       {"string-table", "smoke", "mesh-table", "mesh-element", "effect-corona", "effect-attachment",
        "lights", "sound", "obsolete-table", "attached-track", "queues", "thumbnails", "bogeys",
        "cameralist", "extensions"}) {
    EXPECT_FALSE(Container::GetDefinition(Kiv::PString(name)).Empty()) << name;
  }
  for (const char* code : {"ZX", "00"}) {
    bool offered = false;
    for (const char* list : {"classes.txt", "regions.txt"}) {
      for (const TETLib::DefinitionLine& line : *Manager().FindListFile(Kiv::PString(list))) {
        offered |= line.key.View() == code;
      }
    }
    EXPECT_TRUE(offered) << code;
  }
}

TEST_F(OwnDefinitionsTest, EveryDefinitionHoldsTogether) {
  const Soup& definitions = Manager().GetDefinitions();
  ASSERT_GT(definitions.CountTags(), 40u);
  for (uint32_t i = 0; i < definitions.CountTags(); ++i) {
    CheckDefinition(definitions.GetIndexedTagName(i).Str(), definitions.GetIndexedSoup(i));
  }
}

}  // namespace
