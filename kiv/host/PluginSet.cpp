#include "kiv/host/PluginSet.h"

#include <memory>
#include <mutex>

#include "kiv/display/MaterialManager.h"
#include "kiv/display/MaterialPlugin.h"
#include "kiv/store/ResourceType.h"

namespace Kiv {

namespace {

struct Registry {
  std::mutex mutex;
  std::vector<std::unique_ptr<PluginSet>> sets;
};

Registry& TheRegistry() {
  static Registry* registry = new Registry();  // Lives for the process.
  return *registry;
}

// The set whose entry runs on this thread.
thread_local std::vector<PluginSet::Item>* tLoading = nullptr;

PluginSet* FindLocked(Registry& registry, const PString& category) {
  for (const auto& set : registry.sets) {
    if (set->GetCategory() == category) return set.get();
  }
  return nullptr;
}

}  // namespace

PluginSet* PluginSet::Load(const PString& category, Entry entry) {
  Registry& registry = TheRegistry();
  {
    std::lock_guard<std::mutex> lock(registry.mutex);
    if (PluginSet* loaded = FindLocked(registry, category)) return loaded;
  }
  std::unique_ptr<PluginSet> set(new PluginSet(category));
  if (entry != nullptr) {
    tLoading = &set->items_;
    entry();
    tLoading = nullptr;
  }
  std::lock_guard<std::mutex> lock(registry.mutex);
  if (PluginSet* raced = FindLocked(registry, category)) return raced;
  registry.sets.push_back(std::move(set));
  return registry.sets.back().get();
}

PluginSet* PluginSet::Find(const PString& category) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  return FindLocked(registry, category);
}

void PluginSet::Unload(const PString& category) {
  Registry& registry = TheRegistry();
  std::unique_ptr<PluginSet> gone;
  {
    std::lock_guard<std::mutex> lock(registry.mutex);
    for (auto it = registry.sets.begin(); it != registry.sets.end(); ++it) {
      if ((*it)->GetCategory() != category) continue;
      gone = std::move(*it);
      registry.sets.erase(it);
      break;
    }
  }
}

void PluginSet::Join(MaterialPlugin* plugin) {
  if (tLoading == nullptr || plugin == nullptr) return;
  plugin->AddReference();
  tLoading->push_back(Item{plugin, nullptr});
}

void PluginSet::Join(ResourceTypeBase* type) {
  if (tLoading == nullptr || type == nullptr) return;
  tLoading->push_back(Item{nullptr, type});
}

PluginSet::~PluginSet() {
  for (auto it = items_.rbegin(); it != items_.rend(); ++it) {
    if (it->plugin != nullptr) it->plugin->ReleaseReference();
    delete it->type;
  }
}

void PluginSet::InstallMaterialPlugins(MaterialManager& manager) const {
  for (const Item& item : items_) {
    if (item.plugin != nullptr) manager.AddPlugin(item.plugin);
  }
}

}  // namespace Kiv
