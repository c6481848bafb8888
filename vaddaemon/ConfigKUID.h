// ConfigKUID: the KUID that a configuration names, as its author wrote it,
// and whether the asset database can keep that KUID.
//
// A KUID tag keeps a user id only in -16777216..16777215 (KUID.h), while a
// valid KUID may name any from -33554432 to 33554431. Read as a KUID, a
// configuration naming one beyond that range gives another asset's KUID
// ("<kuid:-16777217:5>" gives <kuid2:16777215:5:127>); every path that
// installs refuses such a configuration, naming the KUID as written, so
// that it never replaces that other asset.
//
// KUIDAsWritten answers the KUID that the "kuid" tag of `soup` (an asset's
// configuration or an archive entry) names, the null KUID when it names
// none:
//   - a string tag: its text read as a KUID (ParseKUID, not strict, as
//     Soup::GetNamedTagAsKUID reads it, but not narrowed to a KUID tag).
//     The text soup reader keeps as such a string every KUID that a KUID
//     tag cannot keep (TextSoup.h);
//   - any other tag: Soup::GetNamedTagAsKUID. A KUID tag whose user id is
//     negative with a version below 127, which no valid KUID has, was made
//     by a reader that wrapped a user id of 16777216..33554431 (older
//     builds): that KUID is answered, 2^25 higher.
//
// KUIDStorageProblem is empty when the asset database keeps `kuid` as it
// is (a valid KUID that KUIDReadsBack); otherwise it says why not, as a
// clause without a final period that follows the KUID and ": ":
//   "its user id lies beyond 16777215, the highest that the asset database
//   keeps" / "its user id lies below -16777216, the lowest that the asset
//   database keeps" / "it is not a valid KUID".
//
// UnkeptConfigKUID is empty when KUIDAsWritten(config) is kept (or null),
// else "the configuration names <kuid as written>: <why>", the store's
// reason to refuse to install or commit that configuration.
#pragma once

#include <string>

#include "foundation/text/KUID.h"

class Soup;

KUID KUIDAsWritten(const Soup& soup);
std::string KUIDStorageProblem(const KUID& kuid);
std::string UnkeptConfigKUID(const Soup& config);
