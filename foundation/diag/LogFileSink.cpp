#include "foundation/diag/LogFileSink.h"

#include <time.h>

#include <atomic>
#include <cstdio>
#include <utility>

#include "foundation/diag/DebugOutput.h"
#include "foundation/diag/LogFileName.h"

namespace {

constexpr int kOpenAttempts = 5;

std::atomic<LogFileSink*> g_sink{nullptr};

class BusyScope {
 public:
  explicit BusyScope(bool* flag) : flag_(flag) { *flag_ = true; }
  ~BusyScope() { *flag_ = false; }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  bool* flag_;
};

}  // namespace

LogFileSink* InstallLogFileSink(LogFileSink* sink) {
  LogOutputLock lock;
  return g_sink.exchange(sink);
}

LogFileSink* GetLogFileSink() {
  return g_sink.load();
}

std::string LogTimeStamp(long long seconds, int hundredths) {
  time_t when = static_cast<time_t>(seconds);
  struct tm local {};
  if (localtime_r(&when, &local) == nullptr) return std::string();
  char text[64];
  std::snprintf(text, sizeof(text), "%02d.%02d.%02d  %02d:%02d:%02d.%02d| ", local.tm_year % 100,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                hundredths);
  return text;
}

LogFileSink::LogFileSink(std::string name, std::string folder)
    : name_(std::move(name)), folder_(std::move(folder)) {}

LogFileSink::~LogFileSink() {
  Close();
}

std::string LogFileSink::GetPath() const {
  LogOutputLock lock;
  return path_;
}

void LogFileSink::WriteLocked(const std::string& text) {
  if (file_ == nullptr) return;
  file_->Write(text.data(), text.size());
}

void LogFileSink::WriteHeldBackLocked() {
  if (repeat_count_ <= 0) return;
  std::string notice;
  if (GetLogFileSettings().time_stamps) {
    struct timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    notice = LogTimeStamp(now.tv_sec, static_cast<int>(now.tv_nsec / 10000000));
  }
  char count[64];
  std::snprintf(count, sizeof(count), "[%d lines suppressed]\r\n", repeat_count_);
  notice += count;
  repeat_count_ = 0;
  WriteLocked(notice);
}

bool LogFileSink::OpenLocked() {
  file_.reset();
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    std::string path;
    if (!OpenLogFile(folder_.c_str(), name_.c_str(), &path)) return false;
    if (FileExists(path.c_str())) continue;  // Taken since the name was chosen.
    auto file = std::make_unique<DolmDataBufferFile>(kDataBufferReadWrite, path);
    uint64_t size = 1;
    if (!file->IsOpen() || file->GetSize(&size) != kDataBufferOk || size != 0) continue;
    path_ = path;
    file_ = std::move(file);
    WriteLocked("\r\n");
    return true;
  }
  return false;
}

void LogFileSink::EnsureOpenLocked() {
  if (file_ != nullptr) return;
  if (path_.empty()) {
    OpenLocked();
    return;
  }
  auto file = std::make_unique<DolmDataBufferFile>(kDataBufferReadWrite, path_);
  uint64_t size = 0;
  if (!file->IsOpen() || file->GetSize(&size) != kDataBufferOk || file->Seek(size) != kDataBufferOk)
    return;
  file_ = std::move(file);
}

bool LogFileSink::Open() {
  LogOutputLock lock;
  try {
    OS::MutexLock own(&mutex_);
    if (busy_) return false;
    BusyScope busy(&busy_);
    return OpenLocked();
  } catch (const OSException&) {
    return false;
  }
}

void LogFileSink::WriteLine(std::string_view line) {
  LogOutputLock lock;
  try {
    OS::MutexLock own(&mutex_);
    // Opening the file may log (a folder that cannot be made): such lines
    // come back here on the same thread and are dropped, not recursed into.
    if (busy_) return;
    BusyScope busy(&busy_);
    if (line == reference_line_ && !immediate_) {
      ++repeat_count_;
      return;
    }
    EnsureOpenLocked();
    if (file_ == nullptr) return;
    WriteHeldBackLocked();
    reference_line_.assign(line);
    WriteLocked(reference_line_);
    if (immediate_) file_->Flush();
  } catch (const OSException&) {
  }
}

void LogFileSink::Close() {
  LogOutputLock lock;
  try {
    OS::MutexLock own(&mutex_);
    if (busy_) return;
    BusyScope busy(&busy_);
    if (repeat_count_ > 0) EnsureOpenLocked();
    WriteHeldBackLocked();
    repeat_count_ = 0;
    file_.reset();
  } catch (const OSException&) {
  }
}

void LogFileSink::MakeImmediate() {
  LogOutputLock lock;
  try {
    OS::MutexLock own(&mutex_);
    immediate_ = true;
    if (file_ != nullptr) file_->Flush();
  } catch (const OSException&) {
  }
}
