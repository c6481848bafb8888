// The process's registry of resource databases.
//
// A table of at most 256 entries {name, owned VandruResourceDatabase, uses},
// guarded by one lock, so every function here may be called from any
// thread.
//
// AcquireSharedEntry(name, folder) answers the database registered under
// `name`, counting one use more; on first use it makes one for `folder`
// (see foundation/VandruResourceDatabase.h, which also tells `mayBeArchive`)
// with 1 use. A full table is
// swept first; when every entry is still in use the answer is null and the
// table is left as it was. An empty name also gives null. The folder of a
// name already registered is not looked at again.
//
// AddTrackedRef(db) and ReleaseTrackedRef(db) count one use more or less
// (never below 0); a null database or one not in the table is ignored.
// SweepUnusedEntries() deletes every database without uses; pointers to
// them become invalid. The registry owns the databases: callers never
// delete them.
//
// GetSharedEntryCount() and GetTrackedRefCount(db) tell the number of
// entries and the uses of one database (0 when it is not in the table), for
// diagnostics and tests.
#pragma once

#include <cstdint>

#include "foundation/layout/VandruResourceDatabase.h"
#include "kiv/File.h"
#include "kiv/PString.h"

VandruResourceDatabase* AcquireSharedEntry(const Kiv::PString& name, const Kiv::File::Path& folder,
                                           bool mayBeArchive = true);
void AddTrackedRef(const VandruResourceDatabase* database);
void ReleaseTrackedRef(const VandruResourceDatabase* database);
void SweepUnusedEntries();

uint32_t GetSharedEntryCount();
uint32_t GetTrackedRefCount(const VandruResourceDatabase* database);
