#include "kiv/display/MaterialManager.h"

#include <new>
#include <unordered_set>

#include "kiv/RenderKernel.h"
#include "kiv/display/Material.h"
#include "kiv/display/MaterialPlugin.h"

namespace Kiv {

MaterialManager::MaterialManager() = default;
MaterialManager::~MaterialManager() = default;

PString MaterialManager::SplitDecoratedMaterialName(const PString& decorated, PString* owner,
                                                    PString* folder) {
  const std::string_view text = decorated.View();
  const size_t first = text.find('*');
  const size_t last = text.rfind('*');
  if (owner != nullptr)
    *owner = first == std::string_view::npos ? PString() : PString(text.substr(0, first));
  if (folder != nullptr)
    *folder = first == last ? PString() : PString(text.substr(first + 1, last - first - 1));
  return last == std::string_view::npos ? decorated : PString(text.substr(last + 1));
}

Material* MaterialManager::GetMaterial(const PString& decorated, uint32_t* failure) {
  const PString kind = SplitDecoratedMaterialName(decorated, nullptr, nullptr);
  Material* material = CreateMaterial(kind, failure);
  if (material != nullptr) material->SetRequestName(decorated);
  return material;
}

Material* MaterialManager::CreateMaterial(const PString& typeName, uint32_t* failure) {
  uint32_t code = kUnsupported;
  if (typeName.Empty()) code = kUnknownKind;
  Display* display = kernel_ != nullptr ? kernel_->GetDisplay() : nullptr;
  std::unordered_set<PString> tried;
  PString type = typeName;
  for (uint32_t step = 0; code == kUnsupported && step <= kMaxFallbacks; ++step) {
    if (type.Empty() || !tried.insert(type).second) break;
    MaterialPlugin* plugin = FindPlugin(PString("m." + type.Str()));
    if (plugin == nullptr) {
      if (auto* plain = new (std::nothrow) Material(type)) return plain;
      break;
    }
    PString fallback;
    if (!plugin->IsSupported(display, fallback)) {
      type = fallback;
      continue;
    }
    if (Material* made = plugin->CreateInstance(this, kernel_)) return made;
    break;
  }
  if (failure != nullptr) *failure = code;
  return nullptr;
}

void MaterialManager::SetSubstituteKind(const PString& kind, const PString& substitute) {
  if (substitute.Empty()) {
    substitutes_.erase(kind);
    return;
  }
  substitutes_[kind] = substitute;
}

PString MaterialManager::GetSubstituteKind(const PString& kind) const {
  const auto found = substitutes_.find(kind);
  return found == substitutes_.end() ? PString() : found->second;
}

void MaterialManager::AddPlugin(MaterialPlugin* plugin) {
  if (plugin == nullptr) return;
  plugins_[PString("m." + plugin->GetTypeName().Str())].reset(plugin);
}

MaterialPlugin* MaterialManager::FindPlugin(const PString& requestName) const {
  const auto found = plugins_.find(requestName);
  return found == plugins_.end() ? nullptr : found->second.get();
}

MaterialTexture* MaterialManager::GetTexture(const ResourceDatabase* /*database*/,
                                             const PString& name) {
  if (name.Empty() || refused_.count(name) != 0) return nullptr;
  Ref<MaterialTexture>& held = textures_[name];
  if (held) return held.get();
  auto* texture = new (std::nothrow) MaterialTexture;
  if (texture == nullptr) return nullptr;
  texture->name = name;
  texture->loaded = true;
  texture->resourceState = 0;
  held.reset(texture);
  return texture;
}

MaterialTexture* MaterialManager::GetSharedTexture(uint32_t index) {
  if (index != 0) return nullptr;
  if (shared_) return shared_.get();
  auto* texture = new (std::nothrow) MaterialTexture;
  if (texture == nullptr) return nullptr;
  texture->name = PString("(shared 0)");
  texture->loaded = true;
  texture->resourceState = 0;
  shared_.reset(texture);
  return texture;
}

}  // namespace Kiv
