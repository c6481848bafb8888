#include "kiv/display/MaterialManager.h"

#include <new>

#include "kiv/display/Material.h"

namespace Kiv {

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
  if (kind.Empty()) {
    if (failure != nullptr) *failure = kUnknownKind;
    return nullptr;
  }
  auto* material = new (std::nothrow) Material(kind);
  if (material == nullptr) {
    if (failure != nullptr) *failure = kUnsupported;
    return nullptr;
  }
  material->SetRequestName(decorated);
  return material;
}

}  // namespace Kiv
