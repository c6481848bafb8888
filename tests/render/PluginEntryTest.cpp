// The program's plug-in entry: what KivGetPlugins registers, in order, and
// how start-up finds and installs it.

#include <gtest/gtest.h>

#include <iterator>
#include <string>

#include "kiv/RenderKernel.h"
#include "kiv/display/MaterialManager.h"
#include "kiv/display/MaterialPlugin.h"
#include "kiv/host/PluginSet.h"
#include "kiv/store/ResourceType.h"
#include "render/materials/VandruBumpMaterial.h"
#include "render/meshes/VandruIndexedMeshLODResource.h"
#include "render/plugin/KivGetPlugins.h"

namespace {

int gEntryRuns = 0;

void CountingEntry() {
  ++gEntryRuns;
  KivGetPlugins();
}

struct Expected {
  bool plugin;
  const char* name;
  const char* uid;
};

constexpr Expected kRegistered[] = {
    {true, "tbumpgloss", "F7478888-C721-48AB-B3C0-19621E66554E"},
    {true, "tbumptex", "E34011F3-C721-48ba-B3C0-19621E408CBD"},
    {true, "tbumpenv", "0ECEE41C-76E7-47fd-ADBB-0E938E809C03"},
    {true, "tonetexnoalpha", "4BB6C98F-6FDF-4cb9-9CE2-7E40B2A78626"},
    {true, "tglossrust", "AFCA4E1B-811A-56EE-89E4-CAB13F9B6712"},
    {true, "tmpfx", "643AFE90-426A-46EE-C19F-FFA0A471ABD7"},
    {true, "nofogtex", "AB84944B-00A6-4a18-8BAF-4664E98075AA"},
    {false, "im", "B9E68EA1-56A3-4a6d-9D5D-C5C020F944E6"},
    {false, "pm", "2E8739F0-412F-48c2-9F71-912B659C58B6"},
    {false, "lm.txt", "8FCC40D7-8BDD-4d14-B528-65692F5DF710"},
    {false, "lm", "8FCC40D7-8BDD-4d14-B528-65692F5DF710"},
    {false, "convert-tex.txt", "A6805E60-4C54-1278-1111-00010251467D"},
};

TEST(PluginEntry, RegistersTheSevenPluginsAndFiveResourceTypesInOrder) {
  Kiv::RenderKernel kernel(nullptr, 8.0f);  // Outlives the plug-ins it is given.
  const Kiv::PString category(kVandruPluginCategory);
  gEntryRuns = 0;
  Kiv::PluginSet* set = Kiv::PluginSet::Load(category, &CountingEntry);
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(Kiv::PluginSet::Load(category, &CountingEntry), set);  // Run once.
  EXPECT_EQ(gEntryRuns, 1);
  EXPECT_EQ(Kiv::PluginSet::Find(category), set);
  const auto& items = set->GetItems();
  ASSERT_EQ(items.size(), std::size(kRegistered));
  for (size_t i = 0; i < items.size(); ++i) {
    const Expected& want = kRegistered[i];
    const Kiv::PluginSet::Item& item = items[i];
    ASSERT_EQ(item.plugin != nullptr, want.plugin) << i;
    if (want.plugin) {
      EXPECT_EQ(item.plugin->GetTypeName().View(), want.name) << i;
      EXPECT_EQ(item.plugin->GetUId().View(), want.uid) << i;
      continue;
    }
    ASSERT_NE(item.type, nullptr) << i;
    EXPECT_EQ(std::string(item.type->GetName().c_str()), want.name) << i;
    EXPECT_EQ(item.type->GetTypeUId().View(), want.uid) << i;
    EXPECT_EQ(item.type->GetCategoryUId(), category) << i;
  }
  // Both LOD names make the one LOD resource; the longer name wins.
  Kiv::ResourceTypeBase* text = Kiv::ResourceTypeBase::FindForFile("x.lm.txt");
  ASSERT_EQ(text, items[9].type);
  EXPECT_EQ(Kiv::ResourceTypeBase::FindForFile("x.LM"), items[10].type);
  Kiv::Ref<Kiv::Resource> made(text->CreateResource(Kiv::PString("x.lm.txt"), nullptr));
  EXPECT_NE(dynamic_cast<VandruIndexedMeshLODResource*>(made.get()), nullptr);
  made.reset();
  // Start-up hands the plug-ins to the kernel's manager, which then makes
  // the program's materials by kind.
  Kiv::MaterialManager& manager = *kernel.GetMaterialManager();
  manager.SetRenderKernel(&kernel);
  kernel.GetDisplay()->SetCapability(17, true);
  kernel.GetDisplay()->SetCapability(21, true);
  set->InstallMaterialPlugins(manager);
  for (size_t i = 0; i < 7; ++i) {
    const std::string request = std::string("m.") + kRegistered[i].name;
    EXPECT_EQ(manager.FindPlugin(Kiv::PString(request)), items[i].plugin);
  }
  EXPECT_EQ(items[0].plugin->UseCount(), 2);
  Kiv::Ref<Kiv::Material> bump(manager.CreateMaterial(Kiv::PString("tbumptex"), nullptr));
  EXPECT_NE(dynamic_cast<Kiv::VandruBumpMaterial*>(bump.get()), nullptr);
  bump.reset();
  Kiv::MaterialPlugin* first = items[0].plugin;
  Kiv::PluginSet::Unload(category);  // The manager keeps the plug-ins.
  EXPECT_EQ(first->UseCount(), 1);
  EXPECT_EQ(Kiv::PluginSet::Find(category), nullptr);
  EXPECT_EQ(Kiv::ResourceTypeBase::FindForFile("x.im"), nullptr);
}

}  // namespace
