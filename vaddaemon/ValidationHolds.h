// ValidationHolds: what a validation job holds for reading while its host
// runs it: the asset whose folder it validates, and every asset whose
// files the compile of its scripts reads through script include tables,
// chains included.
//
// The host finds an included asset as the tool does: each KUID of a
// "script-include-table" stands for the highest locally available version
// of it (request 0x1A, FindStandIn in DependencyCheck.h), whose installed
// copy it reads (0x17), and whose own include table it follows in turn.
// TakeValidationHolds walks the same way from the configuration of the
// folder it validates, and holds each asset before it reads that asset's
// configuration, so the include tables it follows are the ones the host
// reads. While the holds live, no install, commit or removal changes the
// folders of those assets (AssetStore.h, Readers): a library reinstalled
// beside a validation of its user waits for the validation to end. An
// include table is followed whatever the build of its configuration (the
// host follows those of build 2.90 and above): an asset held that the host
// does not read only waits for a change a little longer.
//
// Nothing here waits: every hold is tried. When an asset is busy (a change
// of it under way or waiting), every hold taken so far is let go and the
// answer is false with that asset in `busy`; the caller waits, holding
// nothing, until it is readable (AssetStore::WaitUntilReadable) and tries
// again. So a validation never waits while it holds anything, and holds of
// several assets cannot wait on each other in a cycle, in whatever order
// installs and validations take them.
//
// Left alone: a new version of an included asset installed during the job
// has a KUID of its own, which is not held; the host may read that version
// instead.
//
// Threads: as the store. Nothing throws beyond std::bad_alloc.
#pragma once

#include <string>
#include <vector>

#include "foundation/text/KUID.h"
#include "vaddaemon/AssetStore.h"

struct ValidationHolds {
  std::vector<AssetStore::ReadHold> holds;
  std::string folder;    // what the host reads (AssetStore::HoldFolderForReading)
  std::string location;  // its content location, when another folder was given
  KUID busy;             // after a failure: the asset to wait for
};

// Takes the holds of a validation of `folder` into `*out` (with `folder`
// and `location` answered as AssetStore::HoldFolderForReading answers them
// for `folder`, `location` given its initial value by the caller); false,
// holding nothing, when an asset is busy (see above).
bool TakeValidationHolds(AssetStore& store, const std::string& folder, ValidationHolds* out);
