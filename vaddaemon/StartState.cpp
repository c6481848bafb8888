#include "vaddaemon/StartState.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <exception>

#include "assetdb/protocol/ProcessAlive.h"
#include "foundation/base/EnvironmentNumber.h"
#include "foundation/base/FdTransfer.h"

namespace {

std::atomic<uint64_t> g_progress{0};
std::mutex g_failureLock;
std::string g_failure;

constexpr uint32_t kMaxTestStepMs = 600000;

uint32_t TestStepMs() {
  unsigned long long value = 0;
  EnvironmentWholeNumber("VADDAEMON_TEST_REBUILD_STEP_MS", kMaxTestStepMs, &value);
  return uint32_t(value);
}

}  // namespace

void NoteStartProgress() {
  static const uint32_t pause = TestStepMs();
  if (pause != 0) std::this_thread::sleep_for(std::chrono::milliseconds(pause));
  ++g_progress;
}

void NoteStartFailure(const std::string& reason) {
  std::lock_guard<std::mutex> hold(g_failureLock);
  g_failure = reason;
}

std::string StartFailure() {
  std::lock_guard<std::mutex> hold(g_failureLock);
  return g_failure;
}

std::string EntryInTheWay(const std::string& path, bool folder) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return std::string();
  if (S_ISLNK(info.st_mode)) return "a symbolic link";
  if (S_ISDIR(info.st_mode)) return folder ? std::string() : "a folder";
  if (S_ISREG(info.st_mode)) return folder ? "a file" : std::string();
  return "a special file";
}

StartState::StartState(const std::string& userDataPath)
    : folder_(::open(userDataPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)),
      started_(ProcessStartTime(CurrentProcessId())) {}

StartState::~StartState() {
  StopProgress();
  if (folder_ >= 0) ::close(folder_);
}

void StartState::Starting() {
  std::lock_guard<std::mutex> hold(lock_);
  WriteLocked(DaemonStartRecord::kStarting, std::string());
  if (progress_.joinable()) return;
  try {
    progress_ = std::thread([this] { WriteProgress(); });
  } catch (const std::exception&) {
    // Without the thread the record keeps its first count: the tools wait
    // for the start by their bound of a start without progress.
  }
}

void StartState::Write(DaemonStartRecord::Stage stage, const std::string& reason) {
  StopProgress();
  std::lock_guard<std::mutex> hold(lock_);
  WriteLocked(stage, reason);
}

void StartState::WriteLocked(DaemonStartRecord::Stage stage, const std::string& reason) {
  if (folder_ < 0) return;
  DaemonStartRecord record;
  record.stage = stage;
  record.pid = CurrentProcessId();
  record.started = started_;
  record.progress = g_progress.load();
  struct stat folder {};
  if (::fstat(folder_, &folder) == 0) {
    record.device = folder.st_dev;
    record.inode = folder.st_ino;
  }
  record.reason = reason;
  const std::string temporary = std::string(".") + kDaemonStartRecordName + ".tmp";
  const int fd = ::openat(folder_, temporary.c_str(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return;
  const std::string text = FormatDaemonStartRecord(record);
  const bool written = WriteFd(fd, text.data(), text.size());
  ::close(fd);
  if (!written || ::renameat(folder_, temporary.c_str(), folder_, kDaemonStartRecordName) != 0)
    ::unlinkat(folder_, temporary.c_str(), 0);
}

void StartState::StopProgress() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (progress_.joinable()) progress_.join();
}

void StartState::WriteProgress() {
  std::unique_lock<std::mutex> hold(lock_);
  uint64_t written = g_progress.load();
  while (!wake_.wait_for(hold, std::chrono::milliseconds(kProgressWriteMs),
                         [this] { return stopping_; })) {
    const uint64_t now = g_progress.load();
    if (now == written) continue;
    written = now;
    WriteLocked(DaemonStartRecord::kStarting, std::string());
  }
}
