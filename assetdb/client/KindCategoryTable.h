// KindCategoryTable: the category text that stands for an asset kind in
// asset searches by kind (the script natives' GetAssetList).
//
// KindCategoryTable(kind): `kind` in lower case ("traincar") -> the
// category codes joined by ';' ("TR;TV"), or the empty text when the table
// has no entry for it. The table is made once, on first use, and never
// changed:
// - derived rows: for each kind of the category-class code table
//   (CategoryClassCodeTable.h), the category codes that every row of that
//   kind holds, in the order of its first row. Rows for any kind (an empty
//   kind) are not used. A kind whose rows share no code gets no entry from
//   this rule ("scenery" mixes buildings, roads, track objects and
//   vehicles; "track" mixes fences, power lines, roads and rails).
// - our own rows, which take precedence: "traincar" -> "TR;TV" (every
//   traincar row holds both but the engine-spec component "ZE", which would
//   widen the list to every train component such as bogeys and horns), and
//   "consist" -> "CN" (the code the daemon gives consists,
//   vaddaemon/KindCategory.h).
// Kinds named nowhere have no entry.
//
// Thread-safe: the table is built under the language's static
// initialisation guard and only read afterwards.
#pragma once

#include <string_view>

#include "kiv/String.h"

Kiv::String KindCategoryTable(std::string_view kind);
