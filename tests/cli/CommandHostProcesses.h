// CommandHostProcesses: the command hosts that a root's daemon started, as
// the end-to-end tests see them through procfs.
//
// ToolProcesses(bin, word): the processes whose executable is
// bin/VandruUtil and whose arguments hold `word` (a process that has ended,
// even if not yet reaped, has no executable and is not among them).
// CommandHosts(bin): those of "vadcommandhost".
// Ended(pid): whether the process has ended: gone, or a zombie not yet
// reaped whose other threads have all ended. Its descriptors are closed by
// then; a process whose executable link is gone, or whose first thread
// alone is a zombie, may still be ending and hold them.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace VUTest {

inline std::vector<pid_t> ToolProcesses(const std::string& bin, const std::string& word) {
  namespace fs = std::filesystem;
  std::vector<pid_t> hosts;
  std::error_code error;
  const std::string exe = bin + "/VandruUtil";
  for (const auto& entry : fs::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::error_code linkError;
    if (fs::read_symlink(entry.path() / "exe", linkError).string() != exe) continue;
    std::ifstream in(entry.path() / "cmdline", std::ios::binary);
    const std::string args{std::istreambuf_iterator<char>(in), {}};
    if (args.find(word) != std::string::npos) hosts.push_back(pid_t(std::stoi(name)));
  }
  return hosts;
}

inline std::vector<pid_t> CommandHosts(const std::string& bin) {
  return ToolProcesses(bin, "vadcommandhost");
}

inline bool Ended(pid_t pid) {
  const std::string proc = "/proc/" + std::to_string(pid);
  std::ifstream in(proc + "/stat");
  std::string stat;
  if (!std::getline(in, stat)) return true;
  const size_t name = stat.rfind(')');  // the state follows the name
  if (name == std::string::npos || stat.size() < name + 3) return true;
  if (stat[name + 2] != 'Z' && stat[name + 2] != 'X') return false;
  // The first thread is a zombie as soon as it has ended, while the others
  // may still be ending with the descriptors: a thread leaves the list once
  // it has let go of them.
  std::error_code error;
  size_t threads = 0;
  for (const auto& entry : std::filesystem::directory_iterator(proc + "/task", error)) {
    (void)entry;
    ++threads;
  }
  return threads <= 1;
}

}  // namespace VUTest
