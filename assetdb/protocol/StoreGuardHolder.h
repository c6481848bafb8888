// StoreGuardHolder: which process holds the store guard of a UserData
// folder, the exclusive flock that its daemon holds on the folder itself
// for its whole life (vaddaemon/StoreGuard.h).
//
// The guard goes with the folder, not with a name in it: it tells the
// daemon that serves this UserData even when the owner block cannot (its
// files removed, changed, or copied from another installation).
//
// FlockHolder answers the process that /proc/locks names as holding a
// flock on the file of device `device` and inode `inode` ("1: FLOCK
// ADVISORY WRITE <pid> <major>:<minor>:<inode> 0 EOF"; a waiter's line has
// "->" after the number, and is not a holder); 0 when none is named.
// StoreGuardHolder answers it for the folder `userDataPath` (a link to the
// folder is followed); 0 when the folder cannot be looked at or no process
// holds its guard.
//
// StoreGuardFree answers whether no process holds the guard of the folder
// `userDataPath`, asked of the lock itself, which tells it also where
// /proc/locks cannot name the holder: it takes a shared flock without
// waiting and lets it go at once (a daemon whose start takes the guard in
// that instant refuses, and the tool that started it starts another). A
// folder that does not exist has no guard (true); one that cannot be
// opened cannot tell (false).
//
// Thread-safe; nothing throws beyond std::bad_alloc.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

uint32_t FlockHolder(dev_t device, ino_t inode);
uint32_t StoreGuardHolder(const std::string& userDataPath);
bool StoreGuardFree(const std::string& userDataPath);
