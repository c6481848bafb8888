// SpecAssetSource: what the spec registry asks of the asset database.
//
// Specs name themselves in diagnostics with the asset's display name, which
// only the asset-database daemon knows (asset information request 0x15 with
// mask 1). This layer does not talk to the daemon; the daemon client derives
// a source from this interface and installs it with SetSpecAssetSource when
// it opens, and removes it (SetSpecAssetSource(nullptr)) after it destroyed
// the spec registry on close. Tests install fakes the same way.
//
// GetAssetName answers the display name of an asset, or the empty text when
// the asset is unknown or the daemon cannot be asked. It may be called on
// any thread, never under the spec registry's lock.
//
// Ownership: the source is not owned; it must outlive its installation.
// Setting and reading the installed source is thread-safe; removing a source
// while another thread is inside one of its calls is not (the client removes
// it only after the registry is gone).
#pragma once

#include "foundation/text/KUID.h"
#include "kiv/String.h"

class SpecAssetSource {
 public:
  virtual ~SpecAssetSource() = default;
  virtual Kiv::String GetAssetName(const KUID& asset) = 0;
};

// Installs `source` (null removes it) and answers the one it replaces.
SpecAssetSource* SetSpecAssetSource(SpecAssetSource* source);
// The installed source, or null.
SpecAssetSource* GetSpecAssetSource();
