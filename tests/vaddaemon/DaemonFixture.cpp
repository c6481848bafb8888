#include "tests/vaddaemon/DaemonFixture.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "assetdb/protocol/DatabaseIpc.h"
#include "assetdb/protocol/VADRequestCodes.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

void SleepMs(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::string MakeTempRoot() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vaddaemon-test-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (::mkdtemp(buffer.data()) == nullptr) return std::string();
  std::error_code error;
  std::filesystem::path real = std::filesystem::canonical(buffer.data(), error);
  return error ? std::string(buffer.data()) : real.string();
}

bool PlaceExecutable(const std::string& target) {
  if (::link(VADDAEMON_EXE, target.c_str()) == 0) return true;
  std::error_code error;
  std::filesystem::copy_file(VADDAEMON_EXE, target, error);
  if (error) return false;
  return ::chmod(target.c_str(), 0755) == 0;
}

}  // namespace

void DaemonFixture::SetUp() {
  root_ = MakeTempRoot();
  ASSERT_FALSE(root_.empty()) << "cannot make a temporary root";
  std::filesystem::create_directories(BinPath());
  std::filesystem::create_directories(UserDataPath());
  ASSERT_TRUE(PlaceExecutable(ExecutablePath())) << "cannot place " << VADDAEMON_EXE;
  if (!AutoStart()) return;
  pid_ = StartDaemon(DaemonEnvironment());
  ASSERT_NE(pid_, 0) << "the daemon did not start: " << DaemonOutput(0);
  port_ = WaitForPort(pid_, 0);
  ASSERT_NE(port_, 0);
}

void DaemonFixture::TearDown() {
  std::vector<pid_t> running = spawned_;
  for (pid_t pid : running) StopDaemon(pid);
  if (!root_.empty()) {
    std::error_code error;
    std::filesystem::remove_all(root_, error);
  }
}

pid_t DaemonFixture::SpawnDaemon(const std::vector<std::string>& environment) {
  const std::string log = root_ + "/daemon-" + std::to_string(spawnCount_++) + ".log";
  std::vector<std::string> entries;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry)
    entries.emplace_back(*entry);
  for (const std::string& extra : environment) {
    const std::string name = extra.substr(0, extra.find('=') + 1);
    entries.erase(
        std::remove_if(entries.begin(), entries.end(),
                       [&](const std::string& e) { return e.compare(0, name.size(), name) == 0; }),
        entries.end());
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
  posix_spawn_file_actions_addchdir_np(&actions, BinPath().c_str());
  std::string program = ExecutablePath();
  char* argv[] = {program.data(), nullptr};
  pid_t pid = 0;
  const int failed = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) return 0;
  spawned_.push_back(pid);
  return pid;
}

pid_t DaemonFixture::StartDaemon(const std::vector<std::string>& environment) {
  const pid_t pid = SpawnDaemon(environment);
  if (pid == 0) return 0;
  if (WaitForPort(pid) == 0) return 0;
  return pid;
}

uint16_t DaemonFixture::WaitForPort(pid_t pid, int timeoutMs) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    OwnerBlock block = ReadOwnerBlock();
    if (block.open && block.owner == uint32_t(pid) && block.port != 0 && block.port <= 0xFFFF) {
      return uint16_t(block.port);
    }
    if (!IsRunning(pid) || Clock::now() >= deadline) return 0;
    SleepMs(20);
  }
}

bool DaemonFixture::IsRunning(pid_t pid) {
  if (std::find(spawned_.begin(), spawned_.end(), pid) == spawned_.end()) return false;
  int status = 0;
  const pid_t done = ::waitpid(pid, &status, WNOHANG);
  if (done == 0) return true;
  // Ended (and now reaped); keep its status for WaitExit.
  spawned_.erase(std::remove(spawned_.begin(), spawned_.end(), pid), spawned_.end());
  exited_[pid] = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return false;
}

int DaemonFixture::WaitExit(pid_t pid, int timeoutMs) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (IsRunning(pid)) {
    if (Clock::now() >= deadline) return -1;
    SleepMs(20);
  }
  auto it = exited_.find(pid);
  return it == exited_.end() ? -1 : it->second;
}

void DaemonFixture::KillDaemon(pid_t pid) {
  if (!IsRunning(pid)) return;
  ::kill(pid, SIGKILL);
  WaitExit(pid, 60000);
}

bool DaemonFixture::StopDaemon(pid_t pid) {
  if (!IsRunning(pid)) return true;
  OwnerBlock block = ReadOwnerBlock();
  if (block.open && block.owner == uint32_t(pid) && block.port != 0 && block.port <= 0xFFFF) {
    RawClient client;
    if (client.Open(uint16_t(block.port), AssetIndexPath(), 1, nullptr)) {
      Bytes reply;
      client.Transact(VADRequestCode::kCloseDaemon, 1, {}, &reply, nullptr, kStopGraceMs);
    }
  }
  if (WaitExit(pid, kStopGraceMs) >= 0) return true;
  KillDaemon(pid);
  return false;
}

DaemonFixture::OwnerBlock DaemonFixture::ReadOwnerBlock() const {
  OwnerBlock block;
  DatabaseIpc ipc;
  if (!ipc.Open(Kiv::File::Path(AssetIndexPath()))) return block;
  const DatabaseIpc::Snapshot snapshot = ipc.Read();
  ipc.Close();
  block.open = true;
  block.owner = snapshot.owner;
  block.port = snapshot.port;
  return block;
}

std::unique_ptr<RawClient> DaemonFixture::Connect() {
  auto client = std::make_unique<RawClient>();
  if (!client->Open(port_, AssetIndexPath())) {
    ADD_FAILURE() << "cannot connect to the daemon on port " << port_;
    return nullptr;
  }
  return client;
}

std::string DaemonFixture::DaemonOutput(size_t n) const {
  std::ifstream file(root_ + "/daemon-" + std::to_string(n) + ".log");
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}
