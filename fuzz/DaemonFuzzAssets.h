// The assets, sources and web fixtures that the daemon fuzz target lays out
// in its temporary root, shared with the seed writer so that the seeds name
// what the root holds. Paths in request bodies are relative to the root's
// bin folder, as a tool started there would send them.
#pragma once

#include "foundation/text/KUID.h"

namespace DaemonFuzzAssets {

// Installed in every fresh store: a scenery asset that needs the consist
// (and names a thumbnail), and the consist, which makes a third one
// obsolete and names a script.
inline const KUID kScenery{500, 1, 1};
inline const KUID kConsist{500, 2, 0};
inline const KUID kObsolete{500, 3, 0};
// Only in the archive (not installed).
inline const KUID kPacked{500, 4, 2};

// Source folders and archives below "<root>/srcs".
inline constexpr const char* kSceneryFolder = "../srcs/scenery";
inline constexpr const char* kConsistFolder = "../srcs/consist";
inline constexpr const char* kBrokenFolder = "../srcs/broken";
inline constexpr const char* kArchive = "../srcs/pack.cdp";

// Web fixtures: a text-soup answer and a download.
inline constexpr const char* kQueryUrl = "https://fixtures.invalid/q/list.txt?page=1";
inline constexpr const char* kDownloadUrl = "https://fixtures.invalid/dl/pack.cdp";

}  // namespace DaemonFuzzAssets
