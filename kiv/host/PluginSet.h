// Kiv::PluginSet: the material plug-ins and resource types that one
// program's plug-in entry registers, found by the set's category UId.
//
// Load(category, entry) runs `entry` (the program's KivGetPlugins) once
// for a category: every material plug-in and resource type constructed on
// this thread while it runs joins the set, in order (their engine base
// constructors call Join). The set keeps one reference to each plug-in and
// owns each resource type, which stays registered by its name
// (kiv/store/ResourceType.h) while the set lives. Loading a category that
// is already loaded answers that set without running `entry` again. Find
// answers the set of a category, null when none is loaded. Unload releases
// the set's plug-ins and destroys its resource types; the plug-ins hold
// programs of the display their materials were made for, so a set whose
// plug-ins were installed is unloaded before that display goes.
//
// InstallMaterialPlugins hands every plug-in of the set to a material
// manager (one more reference each), which then makes materials of their
// kinds by request name.
//
// The sets are process-wide and guarded by a lock; a set must not be
// unloaded while another thread uses its objects.
#pragma once

#include <vector>

#include "kiv/PString.h"

namespace Kiv {

class MaterialManager;
class MaterialPlugin;
class ResourceTypeBase;

class PluginSet {
 public:
  using Entry = void (*)();
  // One registered object: a plug-in or a resource type.
  struct Item {
    MaterialPlugin* plugin = nullptr;
    ResourceTypeBase* type = nullptr;
  };

  static PluginSet* Load(const PString& category, Entry entry);
  static PluginSet* Find(const PString& category);
  static void Unload(const PString& category);

  // Called by the engine base constructors: the object joins the set that
  // is loading on this thread, if any.
  static void Join(MaterialPlugin* plugin);
  static void Join(ResourceTypeBase* type);

  ~PluginSet();
  PluginSet(const PluginSet&) = delete;
  PluginSet& operator=(const PluginSet&) = delete;

  const PString& GetCategory() const { return category_; }
  const std::vector<Item>& GetItems() const { return items_; }
  void InstallMaterialPlugins(MaterialManager& manager) const;

 private:
  explicit PluginSet(const PString& category) : category_(category) {}

  PString category_;
  std::vector<Item> items_;
};

}  // namespace Kiv
