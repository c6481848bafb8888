#include "kiv/store/ResourceType.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "kiv/host/PluginSet.h"

namespace Kiv {

namespace {

struct Registry {
  std::mutex mutex;
  std::vector<ResourceTypeBase*> types;
};

Registry& TheRegistry() {
  static Registry* registry = new Registry();  // Lives for the process.
  return *registry;
}

bool NameEndsIn(std::string_view fileName, std::string_view extension) {
  if (extension.empty() || fileName.size() <= extension.size()) return false;
  const size_t dot = fileName.size() - extension.size() - 1;
  return fileName[dot] == '.' && EqualsIgnoreCase(fileName.substr(dot + 1), extension);
}

}  // namespace

ResourceTypeBase::ResourceTypeBase(std::string_view name)
    : ResourceTypeBase(name, PString(), PString()) {}

ResourceTypeBase::ResourceTypeBase(std::string_view name, const PString& typeUId,
                                   const PString& categoryUId)
    : name_(name), typeUId_(typeUId), categoryUId_(categoryUId) {
  {
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    registry.types.push_back(this);
  }
  PluginSet::Join(this);
}

ResourceTypeBase::~ResourceTypeBase() {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  std::erase(registry.types, this);
}

ResourceTypeBase* ResourceTypeBase::FindForFile(std::string_view fileName) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  ResourceTypeBase* best = nullptr;
  for (ResourceTypeBase* type : registry.types) {
    if (!NameEndsIn(fileName, type->name_)) continue;
    if (best == nullptr || type->name_.size() > best->name_.size()) best = type;
  }
  return best;
}

}  // namespace Kiv
