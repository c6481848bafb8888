// Process ids and whether a process still exists.
//
// CurrentProcessId answers this process's id. IsProcessAlive answers whether
// a process with id `pid` exists (kill(pid, 0) succeeds or is refused for
// lack of permission). Ids that no process can have are never alive: 0 and
// values above INT32_MAX (which kill would take as a process group or as
// "every process"), including the "none" value 0xFFFFFFFF. A zombie counts
// as alive until it is reaped. Thread-safe; nothing is signalled.
#pragma once

#include <cstdint>

uint32_t CurrentProcessId();
bool IsProcessAlive(uint32_t pid);
