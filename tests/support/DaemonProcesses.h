// DaemonProcesses: asset-database daemons run in an installation root
// (InstallRoot), each one always stopped again.
//
// Spawn starts a program (posix_spawn; working folder root/bin; the test's
// environment plus `environment` entries "NAME=value", which replace
// entries of the same name; standard input /dev/null; standard output and
// error into root/daemon-<n>.log, read back by Output(n)). Start spawns
// and waits until the owner block of the root's database names the process
// with a port (kStartTimeoutMs): its pid, or 0 when it ended or never
// published a port.
//
// Every process spawned (or adopted: it must be a child of the test
// process) is remembered, and the destructor stops each one still running:
// the close request (0x10E) on the port the owner block names, then SIGKILL
// when it has not ended within kStopGraceMs, then waitpid.
//
// The owner block is read through a DatabaseIpc of its own, opened and
// closed for each read, as the tool does. Not thread-safe: the test's own
// thread only.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "assetdb/protocol/DatabaseIpc.h"
#include "assetdb/protocol/VADFrames.h"
#include "tests/support/InstallRoot.h"
#include "tests/support/WaitUntil.h"

extern char** environ;

namespace VUTest {

class DaemonProcesses {
 public:
  static constexpr int kStartTimeoutMs = 15000;
  static constexpr int kStopGraceMs = 5000;
  static constexpr uint32_t kCloseDaemon = 0x10E;

  struct OwnerBlock {
    bool open = false;  // false: the block could not be opened
    uint32_t owner = 0;
    uint32_t port = 0;
  };

  explicit DaemonProcesses(const InstallRoot& root) : root_(root) {}
  ~DaemonProcesses() {
    const std::vector<pid_t> running = spawned_;
    for (pid_t pid : running) Stop(pid);
  }
  DaemonProcesses(const DaemonProcesses&) = delete;
  DaemonProcesses& operator=(const DaemonProcesses&) = delete;

  // Spawns `program` without waiting; its pid, 0 on failure.
  pid_t Spawn(const std::string& program, const std::vector<std::string>& environment = {}) {
    const std::string log = LogPath(spawnCount_++);
    std::vector<std::string> entries;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry)
      entries.emplace_back(*entry);
    for (const std::string& extra : environment) {
      const std::string name = extra.substr(0, extra.find('=') + 1);
      std::erase_if(entries, [&](const std::string& e) { return e.starts_with(name); });
      entries.push_back(extra);
    }
    std::vector<char*> envp;
    for (std::string& entry : entries) envp.push_back(entry.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addchdir_np(&actions, root_.Bin().c_str());
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);  // no descriptor of the test
    std::string path = program;
    char* argv[] = {path.data(), nullptr};
    pid_t pid = 0;
    const int failed = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) return 0;
    spawned_.push_back(pid);
    return pid;
  }

  // Spawns and waits for the port (see above).
  pid_t Start(const std::string& program, const std::vector<std::string>& environment = {}) {
    const pid_t pid = Spawn(program, environment);
    if (pid == 0 || WaitForPort(pid) == 0) return 0;
    return pid;
  }

  // Waits until the owner block names `pid` with a port; that port, or 0
  // when the process ended or the time ran out.
  uint16_t WaitForPort(pid_t pid, int timeoutMs = kStartTimeoutMs) {
    uint16_t port = 0;
    WaitUntil(
        [&] {
          port = PortOf(pid);
          return port != 0 || !IsRunning(pid);
        },
        timeoutMs, 20);
    return port;
  }

  // True while the process runs (not yet reaped).
  bool IsRunning(pid_t pid) {
    if (std::find(spawned_.begin(), spawned_.end(), pid) == spawned_.end()) return false;
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == 0) return true;
    std::erase(spawned_, pid);
    exited_[pid] = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return false;
  }

  // Waits for the process to end and reaps it: its exit status (the signal
  // number + 128 when a signal ended it), or -1 when it still runs after
  // `timeoutMs`.
  int WaitExit(pid_t pid, int timeoutMs) {
    if (!WaitUntil([&] { return !IsRunning(pid); }, timeoutMs, 20)) return -1;
    const auto it = exited_.find(pid);
    return it == exited_.end() ? -1 : it->second;
  }

  // SIGKILL, then reap.
  void Kill(pid_t pid) {
    if (!IsRunning(pid)) return;
    ::kill(pid, SIGKILL);
    WaitExit(pid, 60000);
  }

  // The close request, then SIGKILL after kStopGraceMs, then reap. True
  // when the process ended by itself.
  bool Stop(pid_t pid) {
    if (!IsRunning(pid)) return true;
    const uint16_t port = PortOf(pid);
    if (port != 0) SendClose(port);
    if (WaitExit(pid, kStopGraceMs) >= 0) return true;
    Kill(pid);
    return false;
  }

  // Makes a process started by other means (a child of the test process)
  // one of those stopped at the end.
  void Adopt(pid_t pid) { spawned_.push_back(pid); }

  OwnerBlock ReadOwnerBlock() const {
    OwnerBlock block;
    DatabaseIpc ipc;
    if (!ipc.Open(Kiv::File::Path(root_.AssetIndex()))) return block;
    const DatabaseIpc::Snapshot snapshot = ipc.Read();
    ipc.Close();
    block.open = true;
    block.owner = snapshot.owner;
    block.port = snapshot.port;
    return block;
  }

  // Standard output and error of the n-th process spawned (0-based).
  std::string Output(size_t n) const {
    return root_.Files().Get("daemon-" + std::to_string(n) + ".log");
  }

 private:
  std::string LogPath(size_t n) const {
    return root_.Path() + "/daemon-" + std::to_string(n) + ".log";
  }

  // The port the owner block gives `pid`, 0 when none.
  uint16_t PortOf(pid_t pid) const {
    const OwnerBlock block = ReadOwnerBlock();
    if (!block.open || block.owner != uint32_t(pid) || block.port == 0 || block.port > 0xFFFF)
      return 0;
    return uint16_t(block.port);
  }

  // Handshake and close request on a connection of its own, then reads
  // until the daemon closes it (at most kStopGraceMs between bytes).
  void SendClose(uint16_t port) const {
    std::vector<uint8_t> bytes;
    std::vector<uint8_t> request;
    if (!VADFrames::EncodeHandshake(true, root_.AssetIndex(), bytes) ||
        !VADFrames::EncodeRequest(kCloseDaemon, 1, nullptr, 0, request))
      return;
    bytes.insert(bytes.end(), request.begin(), request.end());
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
      (void)!::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    uint8_t sink[64];
    pollfd wait = {fd, POLLIN, 0};
    while (::poll(&wait, 1, kStopGraceMs) > 0 && ::recv(fd, sink, sizeof sink, 0) > 0) {
    }
    ::close(fd);
  }

  const InstallRoot& root_;
  std::vector<pid_t> spawned_;   // Not yet reaped.
  std::map<pid_t, int> exited_;  // Reaped: exit status.
  size_t spawnCount_ = 0;
};

}  // namespace VUTest
