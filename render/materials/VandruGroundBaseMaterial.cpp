#include "render/materials/VandruGroundBaseMaterial.h"

#include <typeinfo>

#include "kiv/display/Display.h"
#include "render/materials/MaterialPluginNames.h"

namespace Kiv {

VandruGroundBaseMaterial::VandruGroundBaseMaterial(MaterialManager* manager,
                                                   MaterialChunkCache* chunks,
                                                   AlphaBlendCache* blend)
    : VandruGroundBaseMaterial(PString(kGroundBaseType.type), manager, chunks, blend) {}

VandruGroundBaseMaterial::VandruGroundBaseMaterial(const PString& kind, MaterialManager* manager,
                                                   MaterialChunkCache* chunks,
                                                   AlphaBlendCache* blend)
    : OneTextureMaterial(kind, manager, chunks, nullptr, blend) {}

Material* VandruGroundBaseMaterial::Clone() const {
  auto* copy = CloneAs<VandruGroundBaseMaterial>();
  if (copy != nullptr) CopyFlags(*copy);
  return copy;
}

bool VandruGroundBaseMaterial::Equals(const Material& other) const {
  if (typeid(other) != typeid(*this)) return false;
  const auto& same = static_cast<const VandruGroundBaseMaterial&>(other);
  return same.depthWrite_ == depthWrite_ && same.alphaTest_ == alphaTest_ &&
         OneTextureMaterial::Equals(other);
}

void VandruGroundBaseMaterial::Bind(Display* display, ViewPort* /*viewport*/, int pass) {
  if (pass == 0 && display != nullptr) SetDisplayState(display);
}

void VandruGroundBaseMaterial::Unbind(Display* display, ViewPort* /*viewport*/, int pass) {
  if (pass == 0 && display != nullptr) ClearDisplayState(display);
}

void VandruGroundBaseMaterial::SetDisplayState(Display* display) {
  OneTextureMaterial::SetDisplayState(display);
  savedAlphaTest_ = display->GetAlphaTest();
  display->SetAlphaTest(alphaTest_);
  display->SetDepthWrite(depthWrite_);
}

void VandruGroundBaseMaterial::ClearDisplayState(Display* display) {
  OneTextureMaterial::ClearDisplayState(display);
  display->SetAlphaTest(savedAlphaTest_);
  display->SetDepthWrite(true);
}

}  // namespace Kiv
