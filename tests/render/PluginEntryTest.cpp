// The program's plug-in entry: what KivGetPlugins registers, in order, and
// how start-up finds and installs it.

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "MaterialTestSupport.h"
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

TEST(PluginEntry, RegistersTheSevenPluginsAndFiveResourceTypesInOrder) {
  Kiv::RenderKernel kernel(nullptr, 8.0f);  // Outlives the plug-ins it is given.
  const Kiv::PString category(kVandruPluginCategory);
  gEntryRuns = 0;
  Kiv::PluginSet* set = Kiv::PluginSet::Load(category, &CountingEntry);
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(Kiv::PluginSet::Load(category, &CountingEntry), set);  // Run once.
  EXPECT_EQ(gEntryRuns, 1);
  EXPECT_EQ(Kiv::PluginSet::Find(category), set);
  // What it registers, in order: the golden file plugin_entry.
  const auto& items = set->GetItems();
  std::vector<std::string> lines;
  for (const Kiv::PluginSet::Item& item : items) {
    if (item.plugin != nullptr) {
      lines.push_back("plugin " + item.plugin->GetTypeName().Str() + " " +
                      item.plugin->GetUId().Str());
      continue;
    }
    ASSERT_NE(item.type, nullptr);
    EXPECT_EQ(item.type->GetCategoryUId(), category);
    lines.push_back("type " + std::string(item.type->GetName().c_str()) + " " +
                    item.type->GetTypeUId().Str());
  }
  materialtest::ExpectGolden(lines, "plugin_entry");
  ASSERT_EQ(items.size(), 12u);
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
    const std::string request = "m." + items[i].plugin->GetTypeName().Str();
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
