// The typed tag handlers over the project's own list files: what each type
// checks, reports and writes.
#include <gtest/gtest.h>

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

TEST_F(TagHandlersTest, EachTypeChecksAndWritesItsValue) {
  struct Case {
    const char* owner;
    const char* name;
    const char* value;
    const char* definition;
    float build;
    bool passes;
    Lines_ findings;
    const char* written;
  };
  const char* file = "type \"filepath\"\ndatatype \"meshes\"\n";
  const char* edit = "type \"filepathedit\"\ndatatype \"meshes\"\n";
  const Case cases[] = {
      {"scenery", "snap", "true", "type \"bool\"", 3.4f, true,
       Found("W", "$tet_container_notboolean", {"snap", "scenery"}), "snap=6:0"},
      {"scenery", "count", "12abc", "type \"int\"", 3.4f, true, {}, "count=6:12"},
      {"scenery", "count", "abc", "type \"int\"", 3.4f, true, {}, "count=6:0"},
      {"scenery", "speed", "", "type \"float\"", 3.4f, true, {}, "speed=3:0"},
      {"scenery", "offset", "1,2", "type \"vector3\"", 3.4f, false,
       Found("E", "$tet_val_arraywrongsize", {"offset", 3, 2}), "offset=3:1,2"},
      {"sound", "0", "", "type \"string\"", 3.0f, true, {}, "0=4:"},
      {"sound", "0", "", "type \"string\"", 3.1f, false,
       Found("E", "$tet_container_emptystringerr", {"0", "sound"}), "0=4:"},
      // A mesh is loaded for checking: a missing one is a finding.
      {"scenery", "mesh", "Meshes/a.lm.txt", file, 3.4f, true,
       Found("E", "$tet_mesh_load_mesh", {"Meshes/a.lm.txt"}), "mesh=4:Meshes\\a.lm"},
      {"scenery", "mesh", "a.txt", edit, 3.4f, true, {}, "mesh=4:a"},
      {"scenery", "mesh", "a.txt", file, 3.4f, false,
       Found("E", "$tet_container_nomeshext", {"mesh", "scenery"}), "mesh=4:a"},
      {"scenery", "image", "tex/a.texture.txt", "type \"filepath\"\ndatatype \"image\"", 3.4f, true,
       Lines_(), "image=4:tex\\a.texture"},
      {"scenery", "anim", "", "type \"filepath\"\ndatatype \"animation\"", 3.4f, false,
       Found("E", "$tet_container_emptystringwarn", {"anim", "scenery"}), "anim=4:"},
      {"scenery", "Track-A", "<kuid:1:2>", "type \"stringkuid\"", 3.4f, true, Lines_(),
       "track-a=7:<kuid:1:2>"},
      {"scenery", "Track-A", "<kuid:1:2>", "type \"stringkuidbrowser\"", 3.4f, true, Lines_(),
       "Track-A=7:<kuid:1:2>"},
      {"scenery", "Sign", "", "type \"doublestring\"", 3.4f, false,
       Found("W", "$tet_container_emptystringwarn", {"Sign", "scenery"}), "sign=4:"},
      {"scenery", "alias", "", "type \"kuid\"", 3.4f, true, {}, "alias=7:<NULL>"},
      {"scenery", "preview", "<NULL>", "type \"kuidbrowser\"", 3.4f, true,
       Found("W", "$tet_val_nullkuidwarn", {"preview"}), "preview=7:<NULL>"},
      // A value its list offers is a valid choice; one it does not is
      // emptied and reported as empty.
      {"scenery", "class", "ba", "type \"combobox\"\nsource \"classes.txt\"", 3.4f, true, Lines_(),
       "class=4:ba"},
      {"scenery", "class", "XX", "type \"combobox\"\nsource \"classes.txt\"", 3.4f, false,
       Found("E", "$tet_container_emptycombobox", {"class", "scenery"}), "class=4:"},
      {"scenery", "region", "DE;XX", "type \"listbox\"\nsource \"regions.txt\"", 3.4f, true,
       Lines_(), "region=4:DE;XX"},
      // Values that must name something of the asset.
      {"default", "att-parent", "default", "type \"combobox\"\nsource \"mesh-table\"", 3.4f, true,
       Lines_(), "att-parent=4:default"},
      {"default",
       "att-parent",
       "lid",
       "type \"combobox\"\nsource \"mesh-table\"",
       3.4f,
       false,
       {"E " + Msg("$tet_container_notavalidpossibility2",
                   {"att-parent", "lid", "scenery\\mesh-table\\default"})},
       "att-parent=4:lid"},
      {"default", "att", "a.door", "type \"combobox\"\nsource \"attachment\"", 3.4f, false,
       Found("E", "$tet_container_noattparent", {"default"}), "att=4:a.door"},
  };
  for (const Case& c : cases) {
    NewTree();
    Manager().SetMeshFailureReported(false);
    Manager().SetAssetBuild(c.build + 0.001f);
    Container& owner = std::string(c.owner) == "sound"     ? *sound_
                       : std::string(c.owner) == "default" ? *entry_
                                                           : *root_;
    const Handled handled = Handle(owner, c.name, c.value, c.definition);
    EXPECT_EQ(handled.passes, c.passes) << c.name << " " << c.definition;
    EXPECT_EQ(handled.findings, c.findings) << c.name << " " << c.definition;
    EXPECT_EQ(handled.written, c.written) << c.name << " " << c.definition;
  }
}

}  // namespace
