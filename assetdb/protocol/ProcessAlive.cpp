#include "assetdb/protocol/ProcessAlive.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

uint32_t CurrentProcessId() {
  return static_cast<uint32_t>(::getpid());
}

bool IsProcessAlive(uint32_t pid) {
  // kill() takes 0 as "this process group" and negative ids as groups or
  // "every process": such values from a block are never a live process.
  if (pid == 0 || pid > static_cast<uint32_t>(INT32_MAX)) return false;
  if (::kill(static_cast<pid_t>(pid), 0) == 0) return true;
  return errno == EPERM;
}
