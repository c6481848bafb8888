#include "foundation/threads/ProcessHandle.h"

#include <dirent.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "foundation/base/LogMessage.h"

namespace {

constexpr int kAfterKillWaitMs = 1000;

// The parent's id from /proc/<pid>/stat, or 0. The name field may hold
// blanks and parentheses, so the fields are read after its last ')'.
pid_t ParentOf(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat;
  if (!std::getline(in, stat)) return 0;
  const size_t close = stat.rfind(')');
  if (close == std::string::npos) return 0;
  char state = 0;
  int parent = 0;
  if (std::sscanf(stat.c_str() + close + 1, " %c %d", &state, &parent) != 2) return 0;
  return parent;
}

// Direct system calls: the C library's own declarations are not usable from
// C++ in every version.
int PidfdOpen(pid_t pid) {
  return static_cast<int>(syscall(SYS_pidfd_open, pid, 0u));
}
bool PidfdSignal(int pidfd, int signal) {
  return syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0u) == 0;
}

}  // namespace

ProcessHandle::~ProcessHandle() {
  if (pidfd_ >= 0) close(pidfd_);
}

ProcessHandle::ProcessHandle(ProcessHandle&& other) noexcept
    : pid_(other.pid_), pidfd_(other.pidfd_), child_(other.child_) {
  other.pidfd_ = -1;
}

ProcessHandle& ProcessHandle::operator=(ProcessHandle&& other) noexcept {
  if (this == &other) return *this;
  if (pidfd_ >= 0) close(pidfd_);
  pid_ = other.pid_;
  pidfd_ = other.pidfd_;
  child_ = other.child_;
  other.pidfd_ = -1;
  return *this;
}

std::vector<pid_t> ProcessHandle::ListIds() {
  std::vector<pid_t> ids;
  DIR* dir = opendir("/proc");
  if (dir == nullptr) return ids;
  while (const dirent* entry = readdir(dir)) {
    char* end = nullptr;
    const long id = std::strtol(entry->d_name, &end, 10);
    if (end == entry->d_name || *end != '\0' || id <= 0 || id > INT_MAX) continue;
    ids.push_back(static_cast<pid_t>(id));
  }
  closedir(dir);
  return ids;
}

std::string ProcessHandle::ExecutableOf(pid_t pid) {
  const std::string link = "/proc/" + std::to_string(pid) + "/exe";
  char target[PATH_MAX];
  const ssize_t length = readlink(link.c_str(), target, sizeof target);
  if (length <= 0 || static_cast<size_t>(length) >= sizeof target) return {};
  return std::string(target, static_cast<size_t>(length));
}

std::string ProcessHandle::Normalised(const char* path) {
  std::error_code ec;
  std::filesystem::path normal = std::filesystem::weakly_canonical(path, ec);
  if (ec) return path;
  return normal.string();
}

ProcessHandle ProcessHandle::Open(pid_t pid, const char* executablePath) {
  if (pid <= 0 || executablePath == nullptr || *executablePath == '\0') return {};
  const int pidfd = PidfdOpen(pid);
  if (pidfd < 0) return {};  // gone already, or not ours to watch
  // The id may have passed to another program before the open; from here on
  // the pidfd pins the process, so its program is looked at now.
  ProcessHandle handle(pid, pidfd, ParentOf(pid) == getpid());
  if (ExecutableOf(pid) != Normalised(executablePath)) return {};
  return handle;
}

std::vector<ProcessHandle> ProcessHandle::ChildrenOf(pid_t parent, const char* executablePath) {
  std::vector<ProcessHandle> children;
  if (parent <= 0) return children;
  for (const pid_t pid : ListIds()) {
    if (ParentOf(pid) != parent) continue;
    ProcessHandle child = Open(pid, executablePath);
    // Looked at again once pinned: the id may have been taken meanwhile.
    if (child.Valid() && ParentOf(pid) == parent) children.push_back(std::move(child));
  }
  return children;
}

bool ProcessHandle::WaitEnd(int waitMs) const {
  if (pidfd_ < 0) return true;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd watch{pidfd_, POLLIN, 0};
    const int ready = poll(&watch, 1, left.count() > 0 ? int(left.count()) : 0);
    if (ready > 0) return true;
    if (ready == 0) return false;
    if (errno != EINTR) return false;
  }
}

bool ProcessHandle::Ended() const {
  return WaitEnd(0);
}

void ProcessHandle::Reap() {
  // A child stays ours until reaped, so this cannot hit a reused id.
  if (child_ && WaitEnd(0)) waitpid(pid_, nullptr, WNOHANG);
}

bool ProcessHandle::Signal(int signal) {
  return pidfd_ >= 0 && PidfdSignal(pidfd_, signal);
}

bool ProcessHandle::EndAfterGrace(uint32_t graceMs) {
  if (pidfd_ < 0) return true;
  if (WaitEnd(int(graceMs))) {
    Reap();
    return true;
  }
  LogMessage("Terminating process with ID %d", static_cast<int>(pid_));
  if (PidfdSignal(pidfd_, SIGKILL)) WaitEnd(kAfterKillWaitMs);
  Reap();
  return false;
}
