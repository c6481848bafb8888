// Whether an asset is locally modified, as its VandruBaseSpec remembers it.
//
// IsAssetSpecLocallyModified(kuid): the asset's VandruBaseSpec keeps the
// answer in its two modified bits (1 known, 2 modified); the daemon is asked
// (VADClient::IsAssetLocallyModified) the first time for each VandruBaseSpec
// object. A KUID without one counts as not modified.
//
// Not thread-safe: the thread that runs scripts.
#pragma once

#include "foundation/text/KUID.h"

bool IsAssetSpecLocallyModified(const KUID& kuid);
