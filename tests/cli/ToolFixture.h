// ToolFixture: end-to-end tests of the built VandruUtil in an installation
// root of their own.
//
// One root per test binary (a real path under the system's temporary
// folder), laid out on first use by SetUpTestSuite: root/bin/VandruUtil and
// root/bin/vaddaemon (copies of the built executables VANDRUUTIL_EXE and
// VADDAEMON_EXE), root/bin/TETData (the validation definitions),
// root/libraries (the standard script libraries the build compiled),
// root/scripts (their sources) and
// root/Data/InterfaceText.txt (from the source tree). The
// test process becomes a child subreaper, so daemons that the tool starts
// are its children and can be reaped.
//
// Run starts root/bin/VandruUtil with `args` in `workdir` (root/bin when
// empty), the test's environment (with VADDAEMON_IDLE_SECONDS=60, so that a
// daemon left behind ends by itself), standard input /dev/null, and captures
// standard output and error. A run that has not ended within `timeoutMs`
// is killed (status -1, timedOut). Status is the exit status (0..255), or
// 128 + the signal number when a signal ended it.
//
// TearDownTestSuite ALWAYS stops the daemon: "closevaddaemon" (bounded),
// then SIGKILL of the owner pid named by the owner block when it still
// runs, then reaps every child. The root is removed when the binary ends.
// Not thread-safe: the test's own thread only.
#pragma once

#include <sys/types.h>

#include <cstdint>

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

struct ToolResult {
  std::string out;
  std::string err;
  int status = -1;
  bool timedOut = false;
};

class ToolFixture : public ::testing::Test {
 public:
  static constexpr int kRunTimeoutMs = 120000;
  static constexpr int kStopTimeoutMs = 40000;

  static void SetUpTestSuite();
  static void TearDownTestSuite();

  static ToolResult Run(const std::vector<std::string>& args, const std::string& workdir = "",
                        int timeoutMs = kRunTimeoutMs);
  // The same for any executable (e.g. a copy of the tool in another root);
  // `workdir` must be given. A `fileSizeLimit` other than 0 is the child's
  // RLIMIT_FSIZE in bytes (a daemon it starts inherits it).
  static ToolResult RunProgram(const std::string& exe, const std::vector<std::string>& args,
                               const std::string& workdir, int timeoutMs = kRunTimeoutMs,
                               uint64_t fileSizeLimit = 0);
  // A fresh installation root laid out as the fixture's own (bin with both
  // executables, Data with the interface text), nothing installed; its
  // real path, removed when the binary ends.
  static std::string MakeRoot();
  // A fresh empty folder under the system's temporary folder (real path),
  // removed with the root when the binary ends.
  static std::string MakeTempFolder();

  static const std::string& Root();
  static std::string BinPath() { return Root() + "/bin"; }
  static std::string UserDataPath() { return Root() + "/UserData"; }

  // Stops the daemon of the root (see above); safe when none runs.
  static void StopDaemon();
  // Stops the daemon of another root (made by MakeRoot): "closevaddaemon",
  // then SIGKILL when it has not ended within 5 s; reaps it. True when it
  // ended on the close request (or none ran).
  static bool StopDaemonOf(const std::string& root);
  // The owner pid of the root's database-owner block, 0 when none.
  static pid_t DaemonOwnerPid();
  static pid_t DaemonOwnerPidOf(const std::string& root);

  // Installs, with the tool of `root` (the fixture's when empty), a scenery
  // asset `kuid` whose configuration holds its name, kind, build and class
  // and then the lines `extra`, with the files given (name, text); the
  // install's result (a status of -1 when the files cannot be written).
  static ToolResult InstallScenery(const std::string& kuid, const std::string& extra,
                                   const std::vector<std::pair<std::string, std::string>>& files,
                                   const std::string& root = "");

  // Writes `text` to `path`; false on failure.
  static bool WriteFile(const std::string& path, const std::string& text);
  static std::string ReadFile(const std::string& path);
};
