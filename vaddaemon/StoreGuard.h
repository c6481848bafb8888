// StoreGuard: one daemon per store, whatever happens to the names in it.
//
// The database-owner block (assetdb/protocol/DatabaseIpc.h) tells the tools
// which daemon serves a store, but its two files are names in UserData that
// a user may remove while the daemon runs (clearing "stale" lock files is a
// common reflex). The next tool then makes new ones, finds no owner and
// starts another daemon, whose start-up recovery would sweep the staging
// and taken folders of a commit that the first one is still making. So
// every daemon also holds, for its whole life, an exclusive flock on the
// UserData folder itself, which goes only with the folder: a folder removed
// and made anew is another store, whose daemon starts at once.
//
// HoldStoreGuard(userDataPath) opens the folder (close-on-exec; a link to
// the folder is followed, as every path of the store follows it) and takes
// the flock without waiting:
//   kHeld: this process holds it until it ends. The descriptor is never
//     closed, so the kernel lets the hold go however the process ends
//     (_Exit and kills included), and no process it starts inherits it.
//   kHeldByAnother: another process holds it; `holder` is that process's
//     id as /proc/locks names it, or 0 when it cannot be found there.
//   kFailed: the folder cannot be opened or locked; `error` is the errno.
// Call it once per process. Thread-safe; nothing throws beyond
// std::bad_alloc.
#pragma once

#include <cstdint>
#include <string>

struct StoreGuard {
  enum State { kHeld, kHeldByAnother, kFailed };
  State state = kFailed;
  uint32_t holder = 0;
  int error = 0;
};

StoreGuard HoldStoreGuard(const std::string& userDataPath);
