// The "authors" command: the user names of the authors of the assets that
// are present.
//
// CollectAssetAuthor(name, kuid) fetches the asset's information record
// (all parts; a failed request leaves the record's default author id -1),
// looks the record's author id up through the daemon's user-name lookup
// (assetdb/UserNameCache.h, cached for the process) and stores the name in
// `name`; it also answers it. The name may be empty.
//
// ListAssetAuthors() searches for every asset with the flags "local",
// "locally-available" and "locally-enabled" all set and answers the
// non-empty author names, each once, in byte-wise text order. A failed
// search gives no names.
//
// AuthorsCommand writes each name of ListAssetAuthors on a line of its own
// to standard output (PrintResultLine: control characters shown escaped),
// without a prefix, and answers 0. It takes no arguments and adds no
// messages.
#pragma once

#include <cstdint>
#include <vector>

#include "foundation/text/KUID.h"
#include "kiv/PString.h"

class ResultsLog;

Kiv::PString CollectAssetAuthor(Kiv::PString& name, KUID kuid);

std::vector<Kiv::PString> ListAssetAuthors();
