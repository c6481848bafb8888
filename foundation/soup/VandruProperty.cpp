#include "foundation/soup/VandruProperty.h"

void VandruProperty::SetValueText(const Kiv::PString&) {}

void VandruProperty::GetValueText(Kiv::PString& out) const {
  out = Kiv::PString();
}

void VandruProperty::ReleaseReference() {}

void VandruPropertyAssetID::SetValueText(const Kiv::PString& text) {
  asset_ = ParseKUID(text.c_str(), false);
}

void VandruPropertyAssetID::GetValueText(Kiv::PString& out) const {
  out = KUIDToTagString(asset_);
}
