// The validators that definitions name in their "validation" lists.
//
// Tag validators (13 keywords, in table order): "istracksidetype",
// "isnottraincar", "needcollatemeshes", "ispositive", "isnotzero",
// "scriptfileexists", "fileexists", "range", "arraysize", "notownparent",
// "mustbeownparent", "mustbeinlightcontainer", "mustbepaired". Container
// validators (4): "uniquenames", "hasvalidtexturefile",
// "meshtablehasshadow", "meshtablehasvisiblemesh". Keywords are compared by
// interned identity (exact, case-sensitive). Each validator answers true
// when its subject passes and reports its findings itself; the rules and
// messages are in Validators.cpp, one comment per validator.
//
// Files named by values are looked for inside the asset's folder (the data
// manager's asset folder); a value that is absolute or climbs out with ".."
// never names an existing file.
//
// TetCheckArraySize(tag, expected): fails silently for an empty value;
// passes without a check for assets below build 2.89; otherwise passes when
// the value's number list has `expected` entries and else reports
// "$tet_val_arraywrongsize". CheckNullKUID(tag): warns with
// "$tet_val_nullkuidwarn" when the value is the null KUID (not in an
// "obsolete-table" container); always answers true.
//
// The tables are made on first use and never change. Thread-safe to read.
#pragma once

#include <cstdint>
#include <span>

#include "kiv/PString.h"
#include "tetlib/Container.h"
#include "tetlib/Tag.h"

namespace TETLib {

struct TagValidatorRow {
  Kiv::PString keyword;
  TagValidator function;
};

struct ContainerValidatorRow {
  Kiv::PString keyword;
  ContainerValidator function;
};

std::span<const TagValidatorRow> TagValidatorTable();
std::span<const ContainerValidatorRow> ContainerValidatorTable();

bool TetCheckArraySize(Tag* tag, int32_t expected);
bool CheckNullKUID(Tag& tag);

}  // namespace TETLib
