#include "foundation/threads/Process.h"

#include <dirent.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>
#include <vector>

#include "foundation/base/LogMessage.h"
#include "kiv/Time.h"

namespace {

constexpr uint32_t kPollStepMs = 200;
constexpr int kAfterKillWaitMs = 1000;

// Ids of every process in /proc (thread-group leaders only).
std::vector<pid_t> ListProcessIds() {
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

// The real path of the process's executable, or "" when it cannot be read.
std::string ExecutableOf(pid_t pid) {
  const std::string link = "/proc/" + std::to_string(pid) + "/exe";
  char target[PATH_MAX];
  const ssize_t length = readlink(link.c_str(), target, sizeof target);
  if (length <= 0 || static_cast<size_t>(length) >= sizeof target) return {};
  return std::string(target, static_cast<size_t>(length));
}

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

std::string NormalisedPath(const char* path) {
  std::error_code ec;
  std::filesystem::path normal = std::filesystem::weakly_canonical(path, ec);
  if (ec) return path;
  return normal.string();
}

// Direct system calls: the C library's own declarations are not usable from
// C++ in every version.
int PidfdOpen(pid_t pid) {
  return static_cast<int>(syscall(SYS_pidfd_open, pid, 0u));
}
bool PidfdKill(int pidfd) {
  return syscall(SYS_pidfd_send_signal, pidfd, SIGKILL, nullptr, 0u) == 0;
}

enum class State { Running, Ended, Unknown };

State StateOf(int pidfd, int waitMs) {
  pollfd watch{pidfd, POLLIN, 0};
  int ready = poll(&watch, 1, waitMs);
  while (ready < 0 && errno == EINTR) ready = poll(&watch, 1, waitMs);
  if (ready < 0) return State::Unknown;
  return ready > 0 ? State::Ended : State::Running;
}

// Waits out the grace for one matching process held by `pidfd`, then kills
// it when it still runs.
void EndAfterGrace(pid_t pid, int pidfd, uint32_t graceMs) {
  int64_t left = graceMs;
  State state = StateOf(pidfd, 0);
  while (state == State::Running && left > 0) {
    Kiv::Time::Delay(kPollStepMs);
    left -= kPollStepMs;
    state = StateOf(pidfd, 0);
  }
  if (state == State::Ended) return;
  LogMessage("Terminating process with ID %d", static_cast<int>(pid));
  if (!PidfdKill(pidfd)) return;
  StateOf(pidfd, kAfterKillWaitMs);
}

void HandleMatch(pid_t pid, const std::string& target, uint32_t graceMs) {
  const int pidfd = PidfdOpen(pid);
  if (pidfd < 0) return;  // gone already, or not ours to watch
  // The id may have passed to another program between the listing and the
  // open; from here on the pidfd pins the process, so look once more.
  if (ExecutableOf(pid) == target) {
    // A child stays ours until reaped, so this cannot hit a reused id.
    const bool isChild = ParentOf(pid) == getpid();
    EndAfterGrace(pid, pidfd, graceMs);
    if (isChild && StateOf(pidfd, 0) == State::Ended) waitpid(pid, nullptr, WNOHANG);
  }
  close(pidfd);
}

}  // namespace

void TerminateProcessesByName(const char* executablePath, uint32_t graceMs) {
  // A grace of 0 leaves every match alone.
  if (executablePath == nullptr || *executablePath == '\0' || graceMs == 0) return;
  try {
    const std::string target = NormalisedPath(executablePath);
    const pid_t self = getpid();
    for (const pid_t pid : ListProcessIds()) {
      if (pid == self) continue;
      if (ExecutableOf(pid) != target) continue;
      HandleMatch(pid, target, graceMs);
    }
  } catch (const std::bad_alloc&) {
    // Out of memory while listing: the processes not yet seen stay as they are.
  }
}
