// PStringMap: an IdHashTable whose values are owned entries holding an
// interned key (Kiv::PString) and a text value (Kiv::String).
//
// PStringMap::Clear (IdHashTable::Clear) deletes every node and every entry,
// releasing the entries' strings; the destructor does the same. Not
// thread-safe.
#pragma once

#include <memory>

#include "foundation/containers/IdHashTable.h"
#include "kiv/PString.h"
#include "kiv/String.h"

struct PStringMapEntry {
  Kiv::PString key;
  Kiv::String value;
};

using PStringMap = IdHashTable<std::unique_ptr<PStringMapEntry>>;
