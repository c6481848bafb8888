// DaemonFixture: a GoogleTest fixture that runs the real daemon executable
// in a temporary installation root.
//
// SetUp lays out a fresh root per test (a real path under the system's
// temporary folder): root/bin/vaddaemon (a hard link to, or copy of, the
// built executable VADDAEMON_EXE, so the daemon finds its database from its
// own location) and root/UserData. Then, unless AutoStart() answers false,
// it starts one daemon and waits for its port (ASSERT-fails otherwise).
//
// Daemons: StartDaemon spawns root/bin/vaddaemon (posix_spawn, working
// folder root/bin, the test's environment plus `environment` entries
// "NAME=value", standard input /dev/null, standard output and error into
// root/daemon-<n>.log) and waits until the owner block names it with a
// port (kStartTimeoutMs); it answers the pid, or 0 when the process ended
// or never published a port. Every process spawned is remembered and
// TearDown ALWAYS stops each one still running: the close request (0x10E)
// over a raw connection, then SIGKILL when it has not ended within
// kStopGraceMs, then waitpid. Then the root is removed.
//
// The owner block is read through a DatabaseIpc of the fixture's own (not
// the process-wide one), opened and closed for each read, as the tool does.
//
// Use from any test binary of tests/vaddaemon (class DaemonFixture, or a
// subclass overriding AutoStart / DaemonEnvironment). Not thread-safe: the
// test's own thread only.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/vaddaemon/RawClient.h"

class DaemonFixture : public ::testing::Test {
 public:
  static constexpr int kStartTimeoutMs = 15000;
  static constexpr int kStopGraceMs = 5000;

  struct OwnerBlock {
    bool open = false;  // false: the block could not be opened
    uint32_t owner = 0;
    uint32_t port = 0;
  };

 protected:
  void SetUp() override;
  void TearDown() override;

  // Whether SetUp starts a daemon (default true).
  virtual bool AutoStart() const { return true; }
  // Extra environment entries ("NAME=value") for the daemon SetUp starts.
  virtual std::vector<std::string> DaemonEnvironment() const { return {}; }

  // The root and its parts (real paths).
  const std::string& Root() const { return root_; }
  std::string BinPath() const { return root_ + "/bin"; }
  std::string ExecutablePath() const { return root_ + "/bin/vaddaemon"; }
  std::string UserDataPath() const { return root_ + "/UserData"; }
  std::string AssetIndexPath() const { return root_ + "/UserData/assets.tdx"; }

  // Spawns a daemon without waiting; its pid, 0 on failure.
  pid_t SpawnDaemon(const std::vector<std::string>& environment = {});
  // Spawns one and waits for its port (see above).
  pid_t StartDaemon(const std::vector<std::string>& environment = {});
  // Waits until the owner block names `pid` with a non-zero port; that
  // port, or 0 when the process ended or the time ran out.
  uint16_t WaitForPort(pid_t pid, int timeoutMs = kStartTimeoutMs);
  // Waits for the process to end and reaps it: its exit status (the signal
  // number + 128 when a signal ended it), or -1 on time-out.
  int WaitExit(pid_t pid, int timeoutMs);
  // SIGKILL, then reap.
  void KillDaemon(pid_t pid);
  // The close request, then SIGKILL after kStopGraceMs, then reap. True
  // when the daemon ended by itself.
  bool StopDaemon(pid_t pid);
  // True while the process runs (not yet reaped).
  bool IsRunning(pid_t pid);

  OwnerBlock ReadOwnerBlock() const;
  // Makes the fixture stop (and reap) a daemon started by other means, e.g.
  // by the client library; it must be a child of the test process.
  void AdoptDaemon(pid_t pid) { spawned_.push_back(pid); }

  // The first daemon (SetUp's) and its port.
  pid_t DaemonPid() const { return pid_; }
  uint16_t Port() const { return port_; }
  // A raw client connected to Port() with the handshake done (null, and a
  // test failure, when that fails).
  std::unique_ptr<RawClient> Connect();
  // Standard output and error of the n-th daemon spawned (0-based).
  std::string DaemonOutput(size_t n) const;

 private:
  std::string root_;
  pid_t pid_ = 0;
  uint16_t port_ = 0;
  std::vector<pid_t> spawned_;   // Not yet reaped.
  std::map<pid_t, int> exited_;  // Reaped: exit status.
  size_t spawnCount_ = 0;
};
