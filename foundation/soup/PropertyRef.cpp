#include "foundation/soup/PropertyRef.h"

#include "foundation/stream/TStream.h"
#include "foundation/text/KUID.h"

PropertyRef PropertyRef::FromPointer(VandruProperty* property) {
  PropertyRef ref;
  Take(property);
  ref.property_ = property;
  return ref;
}

PropertyRef& PropertyRef::operator=(const PropertyRef& other) {
  VandruProperty* old = property_;
  Take(other.property_);
  property_ = other.property_;
  if (old != nullptr) old->ReleaseReference();
  return *this;
}

PropertyRef& PropertyRef::operator=(PropertyRef&& other) noexcept {
  if (this == &other) return *this;
  VandruProperty* old = std::exchange(property_, std::exchange(other.property_, nullptr));
  if (old != nullptr) old->ReleaseReference();
  return *this;
}

void PropertyRef::Release() {
  VandruProperty* old = std::exchange(property_, nullptr);
  if (old != nullptr) old->ReleaseReference();
}

void PropertyRef::ToPString(Kiv::PString& out) const {
  if (property_ == nullptr) {
    out = Kiv::PString();
    return;
  }
  property_->GetValueText(out);
}

void WritePropertyRef(TStream& stream, const PropertyRef& ref) {
  const VandruProperty* property = ref.Get();
  const uint32_t kind = property != nullptr ? property->GetKind() : 0;
  TStreamWriteU32(stream, kind);
  if (kind == 0) return;
  Kiv::PString value;
  property->GetValueText(value);
  stream.WritePString(property->GetName());
  stream.WritePString(value);
}

void ReadPropertyRef(TStream& stream, PropertyRef& ref) {
  ref.Release();
  uint32_t kind = 0;
  if (!TStreamReadU32(stream, kind, 0) || kind == 0) return;
  Kiv::PString name;
  Kiv::PString value;
  stream.ReadPString(name);
  stream.ReadPString(value);
  if (kind != VandruProperty::kKindAssetID || stream.GetError() != TStream::kErrorNone) return;
  ref = PropertyRef::FromPointer(new VandruPropertyAssetID(name, ParseKUID(value.c_str(), false)));
}
