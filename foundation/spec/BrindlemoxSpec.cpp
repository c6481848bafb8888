#include "foundation/spec/BrindlemoxSpec.h"

#include "foundation/base/LogMessage.h"
#include "foundation/spec/SpecAssetSource.h"

uint32_t SpecReleaseStamp() {
  return 0;
}

BrindlemoxSpec::BrindlemoxSpec(const KUID& assetId, const Kiv::PString& contentSet,
                               const Kiv::String& parent, const Kiv::String& folder)
    : asset(assetId), parentFolder(parent), folderName(folder), releaseStamp(SpecReleaseStamp()) {
  if (asset.IsNull()) flags |= kSpecNullKUID;
  contentSetEntry = AcquireContentSetFolder(contentSet, &contentSetFound);
}

BrindlemoxSpec::~BrindlemoxSpec() = default;

void BrindlemoxSpec::Activate() {
  activatedBySlot = 1;
}

bool BrindlemoxSpec::IsValid() {
  return true;
}

void BrindlemoxSpec::OnValidated() {}

Kiv::PString BrindlemoxSpec::GetLogName() const {
  return SpecLogName(asset);
}

Kiv::PString SpecLogName(const KUID& asset) {
  Kiv::String name;
  if (SpecAssetSource* source = GetSpecAssetSource()) name = source->GetAssetName(asset);
  Kiv::String text(KUIDToTagString(asset).View());
  text += " \"";
  text += name;
  text += '"';
  return Kiv::PString(text);
}

Kiv::File::Path SpecFilePath(const BrindlemoxSpec& spec, std::string_view relative) {
  Kiv::File::Path path(spec.parentFolder);
  path.AddPath(spec.folderName);
  if (relative.empty()) return path;
  Kiv::File::Path below(relative);
  below.ReplaceForwardSlashes();
  if (!below.StaysInside()) {
    LogMessage("Refused the path \"%.*s\" of %s: it leads out of the asset folder",
               static_cast<int>(relative.size()), relative.data(),
               KUIDToTagString(spec.asset).c_str());
    return Kiv::File::Path();
  }
  path.AddPath(below.Str());
  return path;
}
