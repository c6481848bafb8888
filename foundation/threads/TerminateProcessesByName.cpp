#include "foundation/threads/Process.h"

#include <unistd.h>

#include <new>
#include <string>

#include "foundation/threads/ProcessHandle.h"

void TerminateProcessesByName(const char* executablePath, uint32_t graceMs) {
  // A grace of 0 leaves every match alone.
  if (executablePath == nullptr || *executablePath == '\0' || graceMs == 0) return;
  try {
    const std::string target = ProcessHandle::Normalised(executablePath);
    const pid_t self = getpid();
    for (const pid_t pid : ProcessHandle::ListIds()) {
      if (pid == self) continue;
      if (ProcessHandle::ExecutableOf(pid) != target) continue;
      ProcessHandle::Open(pid, target.c_str()).EndAfterGrace(graceMs);
    }
  } catch (const std::bad_alloc&) {
    // Out of memory while listing: the processes not yet seen stay as they are.
  }
}
