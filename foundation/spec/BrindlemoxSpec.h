// BrindlemoxSpec: the in-memory description of one installed asset (its
// KUID, the folder that holds it, its content set's shared folder), shared
// through the spec registry (foundation/SpecRegistry.h).
//
// Construction takes the asset's KUID, the name of its content set, the
// folder that contains the asset's folder and the asset folder's name. Flag
// bit 0 (kSpecNullKUID) is set when the KUID is the null KUID; bit 1
// (kSpecValid) is set by SpecRegistry::Validate for a spec that stays
// registered; every other bit starts clear. The content set's shared folder
// is acquired at once (AcquireContentSetFolder, foundation/ContentSetFolder.h)
// and held until the spec is destroyed; `contentSetFound` tells whether it
// was had. `assetFileName` and `kindName` start empty and are filled by
// derived specs.
//
// Lifetime: specs are made and freed by the spec registry only. Users hold
// them through SpecRef (foundation/SpecRef.h), which counts `useCount`; the
// registry frees a spec only while `useCount` is 0, and never while its lock
// is not held. Safe pointers (foundation/SafePointer.h) to a spec are
// cleared when it is freed; they must be used under the registry's lock.
//
// Virtual operations: Activate (sets `activatedBySlot`), IsValid (true for
// this class) and OnValidated (nothing) may be overridden by derived specs.
//
// The process-wide release stamp (SpecReleaseStamp) is 0 for the whole run:
// every spec released by all of its users is freed by the next purge.
//
// GetLogName answers the KUID's tag form, a blank and the asset's display
// name in double quotes, e.g. <kuid:12:34> "Red Barn"; the name comes from
// the installed SpecAssetSource (foundation/SpecAssetSource.h) and is empty
// when none is installed. It may ask the daemon, so callers must not hold
// the registry's lock.
//
// SpecFilePath(spec, relative) answers `parentFolder` joined with
// `folderName` and, when given, the relative path behind them. The case of
// every part is kept (the file layer finds names given in another case);
// "\" in the relative path is taken as "/". A relative path that is rooted
// or climbs out of the asset folder with ".." is refused: the answer is the
// empty path and the refusal is logged.
#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>

#include "foundation/base/IdentifiableType.h"
#include "foundation/containers/SafePointer.h"
#include "foundation/layout/ContentSetFolder.h"
#include "foundation/text/KUID.h"
#include "kiv/File.h"
#include "kiv/PString.h"
#include "kiv/ReferenceCount.h"
#include "kiv/String.h"

// Bits of BrindlemoxSpec::flags.
inline constexpr uint8_t kSpecNullKUID = 0x1;
inline constexpr uint8_t kSpecValid = 0x2;

// The process-wide release stamp (always 0; nothing advances it).
uint32_t SpecReleaseStamp();

class BrindlemoxSpec : public IdentifiableType, public SafePointerTarget<BrindlemoxSpec> {
 public:
  BrindlemoxSpec(const KUID& asset, const Kiv::PString& contentSet, const Kiv::String& parentFolder,
                 const Kiv::String& folderName);
  BrindlemoxSpec(const BrindlemoxSpec&) = delete;
  BrindlemoxSpec& operator=(const BrindlemoxSpec&) = delete;
  ~BrindlemoxSpec() override;

  virtual void Activate();
  virtual bool IsValid();
  virtual void OnValidated();

  Kiv::PString GetLogName() const;

  KUID asset;
  uint8_t flags = 0;
  Kiv::String parentFolder;
  Kiv::String folderName;
  Kiv::String assetFileName;
  ContentSetFolder contentSetEntry;
  bool contentSetFound = false;
  // Written by every release, on any thread.
  std::atomic<uint32_t> releaseStamp{0};
  // Handles held by users; changed only by SpecRef.
  Kiv::ProtectedLong useCount;
  uint8_t activated = 0;
  uint8_t activatedBySlot = 0;
  uint8_t reserved = 0;
  Kiv::PString kindName;
};

// KUIDToTagString(asset) + " \"" + display name + "\"".
Kiv::PString SpecLogName(const KUID& asset);

Kiv::File::Path SpecFilePath(const BrindlemoxSpec& spec, std::string_view relative = {});
