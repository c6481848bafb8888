// The names under which processes of one asset database meet.
//
// FormDatabaseIpcNames checks the asset index path and derives:
//  - folder: the path less its last 11 characters (the separator and
//    "assets.tdx"). The path must end in "assets.tdx" (in any case) right
//    after a "/" or "\"; otherwise false and `*out` is unchanged. The folder
//    keeps its case: the file system tells folders apart by case, so two
//    folders that differ only in case get two blocks.
//  - mutexName: "09731AC6-B611-4e2a-B181-578073F64F24" joined with the folder
//    (Kiv::File::Path::AddPath), backslashes turned to "/".
//  - sharedName: mutexName joined with "-ipc2".
//  - lockPath, blockPath: the files of the lock and of the block, beside the
//    asset index: folder + "/assets.tdx.lock" and folder + "/assets.tdx.ipc".
//    They live in the database folder rather than in a world-writable place
//    (such as /dev/shm), so that no other user can create them first and
//    lock the database's owner out. The owner block (DatabaseIpc.h) opens
//    only these two; mutexName and sharedName name no object on this
//    platform.
// Every process that shares a block must form the names with this code.
#pragma once

#include "kiv/File.h"
#include "kiv/String.h"

struct DatabaseIpcNames {
  Kiv::File::Path folder;
  Kiv::String mutexName;
  Kiv::String sharedName;
  Kiv::String lockPath;
  Kiv::String blockPath;
};

bool FormDatabaseIpcNames(const Kiv::File::Path& assetIndexPath, DatabaseIpcNames* out);
