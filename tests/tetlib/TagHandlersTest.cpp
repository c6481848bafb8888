// The typed tag handlers over the project's own list files: what each type
// checks, reports and writes.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "tests/tetlib/TetTestSupport.h"

namespace {

using TETLib::Container;
using TETLib::Tag;
using Lines_ = std::vector<std::string>;

class TagHandlersTest : public TetTest {
 protected:
  void SetUp() override {
    TetTest::SetUp();
    UseOwnDefinitions();
  }

  // A new tree: scenery > sound, and scenery > mesh-table > default (a mesh
  // table entry, registered under "mesh-table").
  void NewTree() {
    root_ = std::make_unique<Container>();
    root_->SetName(Kiv::PString("scenery"));
    root_->SetSoup(Parse("kind \"scenery\"\n"));
    sound_ = AddChild(*root_, "sound", "sound");
    Container* table = AddChild(*root_, "mesh-table", "mesh-table");
    entry_ = AddChild(*table, "default", "mesh-element");
    Manager().AddToKeyedListB(Kiv::PString("mesh-table"), entry_);
  }

  Container* AddChild(Container& parent, const char* name, const char* type) {
    auto child = std::make_unique<Container>();
    child->SetName(Kiv::PString(name));
    child->SetType(Kiv::PString(type));
    Container* added = child.get();
    parent.AddChild(std::move(child));
    return added;
  }

  struct Handled {
    bool passes;
    Lines_ findings;
    std::string written;  // "name=type:text" of what the handler wrote
  };

  // Types a tag of `owner` by `definition`, builds its validators and runs
  // its handler.
  Handled Handle(Container& owner, const char* name, const char* value,
                 const std::string& definition) {
    Findings().Clear();
    Soup source;
    source.Create();
    source.SetNamedTag(Kiv::PString(name), std::string_view(value));
    const Soup entry = Parse(definition);
    std::unique_ptr<Tag> made =
        owner.CreateTagFromDefinition(owner, Kiv::PString(name), entry, &source);
    made->BuildValidators(entry);
    Tag& tag = *made;
    owner.AddTag(std::move(made));
    Soup target;
    target.Create();
    const bool passes = owner.HandleTag(tag, target);
    const std::string written = tag.name.Str() + "=" +
                                std::to_string(target.GetNamedTagType(tag.name)) + ":" +
                                target.GetNamedTag(tag.name).Str();
    return Handled{passes, Lines(), written};
  }

  std::unique_ptr<Container> root_;
  Container* sound_ = nullptr;
  Container* entry_ = nullptr;
};

// The cases of tests/tetlib/handlers/cases.txt, one a line.
TEST_F(TagHandlersTest, EachTypeChecksAndWritesItsValue) {
  std::ifstream in(VU_SOURCE_DIR "/tests/tetlib/handlers/cases.txt");
  size_t count = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    const std::vector<std::string> f = Fields(line);
    ASSERT_GE(f.size(), 7u) << line;
    NewTree();
    Manager().SetMeshFailureReported(false);
    Manager().SetAssetBuild(std::stof(f[4]) + 0.001f);
    Container& owner = f[0] == "sound" ? *sound_ : f[0] == "default" ? *entry_ : *root_;
    const Handled handled = Handle(owner, f[1].c_str(), f[2].c_str(), f[3]);
    EXPECT_EQ(handled.passes, f[5] == "pass") << line;
    EXPECT_EQ(handled.written, f[6]) << line;
    EXPECT_EQ(handled.findings, f.size() > 7 ? Lines_{FindingLine(f[7])} : Lines_()) << line;
    ++count;
  }
  EXPECT_EQ(count, 24u);
}

}  // namespace
