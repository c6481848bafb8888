#include "tests/cli/ToolFixture.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "assetdb/protocol/DatabaseIpc.h"
#include "kiv/File.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

std::string gRoot;
std::vector<std::string> gTempFolders;

class RootRemover : public ::testing::Environment {
 public:
  void TearDown() override {
    ToolFixture::StopDaemon();
    std::error_code ignored;
    for (const std::string& folder : gTempFolders) fs::remove_all(folder, ignored);
    gTempFolders.clear();
    if (gRoot.empty()) return;
    fs::remove_all(gRoot, ignored);
    gRoot.clear();
  }
};

const ::testing::Environment* const gRemover = ::testing::AddGlobalTestEnvironment(new RootRemover);

// A program placed in a root: a hard link to the built one, or, where the
// build is on another file system than the roots, to the suite root's copy,
// so that each test process holds one copy of the programs however many
// roots it makes (sanitized builds are hundreds of megabytes). Nothing
// writes into a placed program; tests that swap one remove it first.
void PlaceExecutable(const char* built, const std::string& to) {
  fs::remove(to);
  if (::link(built, to.c_str()) == 0) return;
  const std::string copied = gRoot + "/bin/" + fs::path(to).filename().string();
  if (!gRoot.empty() && copied != to && ::link(copied.c_str(), to.c_str()) == 0) return;
  fs::copy_file(built, to, fs::copy_options::overwrite_existing);
  fs::permissions(to, fs::perms::owner_all, fs::perm_options::add);
}

void LayOutRoot(const std::string& root) {
  fs::create_directories(root + "/bin");
  fs::create_directories(root + "/Data");
  PlaceExecutable(VANDRUUTIL_EXE, root + "/bin/VandruUtil");
  PlaceExecutable(VADDAEMON_EXE, root + "/bin/vaddaemon");
  fs::copy_file(std::string(VU_SOURCE_DIR) + "/data/InterfaceText.txt",
                root + "/Data/InterfaceText.txt");
  fs::copy(std::string(VU_SOURCE_DIR) + "/tetlib/TETData", root + "/bin/TETData",
           fs::copy_options::recursive);
  fs::copy(VU_SCRIPT_LIBRARIES_DIR, root + "/libraries", fs::copy_options::recursive);
  fs::create_directories(root + "/scripts");
  for (const auto& entry :
       fs::directory_iterator(std::string(VU_SOURCE_DIR) + "/gsnative/libraries"))
    if (entry.path().extension() == ".gs")
      fs::copy_file(entry.path(), root + "/scripts/" + entry.path().filename().string());
}

// Reads whatever the pipes hold until both close or the time runs out.
bool Drain(int outFd, int errFd, ToolResult* result, int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  int fds[2] = {outFd, errFd};
  std::string* sinks[2] = {&result->out, &result->err};
  while (fds[0] >= 0 || fds[1] >= 0) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd polls[2] = {{fds[0], POLLIN, 0}, {fds[1], POLLIN, 0}};
    if (::poll(polls, 2, static_cast<int>(left.count())) < 0 && errno != EINTR) return false;
    for (int i = 0; i < 2; ++i) {
      if (fds[i] < 0 || polls[i].revents == 0) continue;
      char chunk[4096];
      ssize_t n = ::read(fds[i], chunk, sizeof(chunk));
      if (n > 0) {
        sinks[i]->append(chunk, static_cast<size_t>(n));
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      ::close(fds[i]);
      fds[i] = -1;
    }
  }
  return true;
}

// Waits up to `timeoutMs` until `pid` has ended: reaped when it is our
// child (daemons are, as we are their subreaper), else no longer running.
// Its status (0..255, or 128 + signal) when reaped here, 0 when it ended
// elsewhere, -1 when it still runs.
int WaitFor(pid_t pid, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int raw = 0;
    const pid_t got = ::waitpid(pid, &raw, WNOHANG);
    if (got == pid) return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    if (got < 0 && ::kill(pid, 0) != 0) return 0;
    if (std::chrono::steady_clock::now() >= deadline) return -1;
    ::usleep(10000);
  }
}

}  // namespace

void ToolFixture::SetUpTestSuite() {
  if (!gRoot.empty()) return;
  ::prctl(PR_SET_CHILD_SUBREAPER, 1);
  char pattern[] = "/tmp/vu-cli-XXXXXX";
  const char* made = ::mkdtemp(pattern);
  ASSERT_NE(made, nullptr);
  gRoot = fs::canonical(made).string();
  LayOutRoot(gRoot);
  // A daemon left behind ends by itself.
  ::setenv("VADDAEMON_IDLE_SECONDS", "60", 1);
}

std::string ToolFixture::MakeRoot() {
  const std::string root = MakeTempFolder();
  if (!root.empty()) LayOutRoot(root);
  return root;
}

void ToolFixture::TearDownTestSuite() {
  StopDaemon();
}

const std::string& ToolFixture::Root() {
  return gRoot;
}

ToolResult ToolFixture::Run(const std::vector<std::string>& args, const std::string& workdir,
                            int timeoutMs) {
  return RunProgram(BinPath() + "/VandruUtil", args, workdir.empty() ? BinPath() : workdir,
                    timeoutMs);
}

std::string ToolFixture::MakeTempFolder() {
  std::string pattern = "/tmp/vu-cli-XXXXXX";
  const char* made = ::mkdtemp(pattern.data());
  if (made == nullptr) return std::string();
  std::string path = fs::canonical(made).string();
  gTempFolders.push_back(path);
  return path;
}

ToolResult ToolFixture::RunProgram(const std::string& exe, const std::vector<std::string>& args,
                                   const std::string& workdir, int timeoutMs,
                                   uint64_t fileSizeLimit) {
  ToolResult result;
  int outPipe[2];
  int errPipe[2];
  if (::pipe2(outPipe, O_CLOEXEC) != 0) return result;
  if (::pipe2(errPipe, O_CLOEXEC) != 0) {
    ::close(outPipe[0]);
    ::close(outPipe[1]);
    return result;
  }
  std::vector<std::string> argStore{exe};
  argStore.insert(argStore.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : argStore) argv.push_back(arg.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
  posix_spawn_file_actions_addchdir_np(&actions, workdir.c_str());
  // Nothing the test process has open (another thread's file being written,
  // say) reaches the child: a commit refuses files open for writing.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  // The child (and a daemon it starts) inherits a soft RLIMIT_FSIZE set
  // here for the spawn only.
  rlimit saved{};
  const bool limited = fileSizeLimit != 0 && ::getrlimit(RLIMIT_FSIZE, &saved) == 0;
  if (limited) {
    rlimit limit = saved;
    limit.rlim_cur = rlim_t(fileSizeLimit);
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv.data(), environ);
  if (limited) ::setrlimit(RLIMIT_FSIZE, &saved);
  posix_spawn_file_actions_destroy(&actions);
  ::close(outPipe[1]);
  ::close(errPipe[1]);
  if (spawned != 0) {
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    return result;
  }
  // A daemon the tool starts has its output elsewhere: the pipes close
  // when the tool ends.
  bool drained = Drain(outPipe[0], errPipe[0], &result, timeoutMs);
  if (!drained) {
    ::kill(pid, SIGKILL);
    result.timedOut = true;
  }
  result.status = WaitFor(pid, drained ? timeoutMs : 5000);
  if (result.status < 0) {
    ::kill(pid, SIGKILL);
    WaitFor(pid, 5000);
    result.timedOut = true;
  }
  if (result.timedOut) result.status = -1;
  return result;
}

pid_t ToolFixture::DaemonOwnerPid() {
  return DaemonOwnerPidOf(gRoot);
}

pid_t ToolFixture::DaemonOwnerPidOf(const std::string& root) {
  const std::string index = root + "/UserData/assets.tdx";
  if (root.empty() || !fs::exists(index)) return 0;
  DatabaseIpc ipc;
  if (!ipc.Open(Kiv::File::Path(index))) return 0;
  DatabaseIpc::Snapshot snapshot = ipc.Read();
  ipc.Close();
  if (snapshot.owner == DatabaseIpc::kNone || snapshot.owner == 0) return 0;
  return static_cast<pid_t>(snapshot.owner);
}

void ToolFixture::StopDaemon() {
  if (gRoot.empty()) return;
  StopDaemonOf(gRoot);
  // Reap every other child that has ended (daemons reparented to us).
  while (::waitpid(-1, nullptr, WNOHANG) > 0) {
  }
}

bool ToolFixture::StopDaemonOf(const std::string& root) {
  const pid_t owner = DaemonOwnerPidOf(root);
  if (owner == 0) return true;
  RunProgram(root + "/bin/VandruUtil", {"closevaddaemon"}, root + "/bin", kStopTimeoutMs);
  if (WaitFor(owner, 5000) >= 0) return true;
  ::kill(owner, SIGKILL);
  WaitFor(owner, 5000);
  return false;
}

ToolResult ToolFixture::InstallScenery(
    const std::string& kuid, const std::string& extra,
    const std::vector<std::pair<std::string, std::string>>& files, const std::string& root) {
  const std::string work = MakeTempFolder() + "/asset";
  fs::create_directories(work);
  bool written = WriteFile(work + "/config.txt", "kuid " + kuid +
                                                     "\nusername \"Crate\"\nkind \"scenery\"\n"
                                                     "vandru-build 3.4\ncategory-class \"BA\"\n" +
                                                     extra);
  for (const auto& [name, text] : files) {
    fs::create_directories(fs::path(work + "/" + name).parent_path());  // "sub/main.gs"
    written = WriteFile(work + "/" + name, text) && written;
  }
  if (!written) return ToolResult{};
  if (root.empty()) return Run({"installfrompath", work});
  return RunProgram(root + "/bin/VandruUtil", {"installfrompath", work}, root + "/bin");
}

bool ToolFixture::WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out);
}

std::string ToolFixture::ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}
