// ProcessHandle: one running process, pinned by a pidfd, so that its id
// passing to another program never makes the handle act on that program.
//
// Open(pid, executablePath) holds the process `pid` when it runs the file
// `executablePath` (made absolute with links resolved, and compared
// exactly, case and all, with the real path of the process's executable,
// /proc/<pid>/exe); otherwise (gone, another program, not ours to watch)
// the handle is not Valid. ChildrenOf(parent, executablePath) holds every
// running child of `parent` that runs that file.
//
// EndAfterGrace(graceMs) waits until the process has ended, at most
// `graceMs` (an event wait on the pidfd, not a poll); when it still runs
// then, it logs "Terminating process with ID <pid>", kills it with SIGKILL
// and waits up to 1000 ms for it to go. No SIGTERM is sent: the grace is
// the time in which the process ends by itself (asked by other means). It
// answers true when the process ended by itself. A process that is a child
// of the caller is reaped once it has ended. Every wait is bounded.
// Signal(signal) sends `signal` to the process held; false when none is
// held or it could not be sent.
//
// Threads: a handle belongs to one thread; the calls are safe from any
// thread. Nothing throws beyond std::bad_alloc. The pidfd closes with the
// handle.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

class ProcessHandle {
 public:
  ProcessHandle() = default;
  ~ProcessHandle();
  ProcessHandle(ProcessHandle&& other) noexcept;
  ProcessHandle& operator=(ProcessHandle&& other) noexcept;
  ProcessHandle(const ProcessHandle&) = delete;
  ProcessHandle& operator=(const ProcessHandle&) = delete;

  static ProcessHandle Open(pid_t pid, const char* executablePath);
  static std::vector<ProcessHandle> ChildrenOf(pid_t parent, const char* executablePath);

  bool Valid() const { return pidfd_ >= 0; }
  pid_t Pid() const { return pid_; }
  // True once the process has ended (also when the handle is not Valid).
  bool Ended() const;
  bool EndAfterGrace(uint32_t graceMs);
  bool Signal(int signal);

  // The ids of every process in /proc; the real path of a process's
  // executable ("" when it cannot be read); the normalised form of a path
  // as Open compares it. For TerminateProcessesByName.
  static std::vector<pid_t> ListIds();
  static std::string ExecutableOf(pid_t pid);
  static std::string Normalised(const char* path);

 private:
  ProcessHandle(pid_t pid, int pidfd, bool child) : pid_(pid), pidfd_(pidfd), child_(child) {}
  // Waits up to `waitMs` for the end; true when it has ended.
  bool WaitEnd(int waitMs) const;
  void Reap();

  pid_t pid_ = 0;
  int pidfd_ = -1;
  bool child_ = false;
};
