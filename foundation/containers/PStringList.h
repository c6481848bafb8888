// Lists of interned names: a ChunkList of Kiv::PString.
//
// The list holds a use of each name it stores and releases it when the entry
// is erased or the list is freed. Not thread-safe (see BlockRing.h).
#pragma once

#include "foundation/containers/ChunkList.h"
#include "kiv/PString.h"

using PStringList = ChunkList<Kiv::PString>;

// Appends `name` to the end of `list`.
inline void AddPStringToList(PStringList& list, const Kiv::PString& name) {
  list.PushBack(name);
}
