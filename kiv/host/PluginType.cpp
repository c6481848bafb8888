#include "kiv/host/PluginType.h"

#include <mutex>
#include <vector>

#include "kiv/basics/Bitmap.h"

namespace Kiv {

namespace {

struct Registry {
  std::mutex mutex;
  std::vector<PluginType*> types;  // One reference each.
};

PString Lowered(const PString& name) {
  PString lower = name;
  lower.ToLower();
  return lower;
}

PluginType* FindLocked(const Registry& registry, const PString& uid, const PString& name) {
  const PString lower = Lowered(name);
  for (PluginType* type : registry.types) {
    if (type->GetUId() == uid && Lowered(type->GetName()) == lower) return type;
  }
  return nullptr;
}

// The engine's own types come with the registry.
Registry& TheRegistry() {
  static Registry* registry = [] {
    auto* made = new Registry();  // Lives for the process.
    auto* bmp = new ImagePluginType(PString("bmp"));
    bmp->AddReference();
    made->types.push_back(bmp);
    return made;
  }();
  return *registry;
}

}  // namespace

std::unique_ptr<Bitmap> ImagePluginType::Decode(const String& path, String* error) const {
  return Bitmap::Load(path, error);
}

bool PluginBase::RegisterPluginType(PluginType* type) {
  if (type == nullptr) return false;
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  if (FindLocked(registry, type->GetUId(), type->GetName()) != nullptr) return false;
  type->AddReference();
  registry.types.push_back(type);
  return true;
}

bool PluginBase::LookupPluginType(PluginType** out, const PString& uid, const PString& name) {
  if (out == nullptr) return false;
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  *out = FindLocked(registry, uid, name);
  if (*out == nullptr) return false;
  (*out)->AddReference();
  return true;
}

}  // namespace Kiv
