#include "gsnative/OwnScriptCompiler.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

#include "foundation/base/LogMessage.h"
#include "foundation/layout/FolderLayout.h"
#include "gscompiler/CompileLog.h"
#include "gscompiler/GSCompiler.h"
#include "gscompiler/IncludePathList.h"
#include "gsruntime/GSLibrary.h"
#include "gsruntime/GSMachine.h"
#include "kiv/File.h"

namespace {

constexpr const char* kSourceName = "temp_object.gs";
constexpr const char* kLibraryName = "temp_object.gsl";
constexpr const char* kLockName = "temp_object.lock";
constexpr const char* kClassName = "CustomObject";
// Another process compiles for well under this; a holder stuck longer is
// given up on rather than waited for without end.
constexpr std::chrono::seconds kLockWait{120};
constexpr std::chrono::milliseconds kLockPoll{5};

// An exclusive flock on a file, held for the object's life.
class FolderLock {
 public:
  explicit FolderLock(const std::string& path)
      : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
    if (fd_ < 0) return;
    const auto until = std::chrono::steady_clock::now() + kLockWait;
    while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() > until) {
        ::close(fd_);
        fd_ = -1;
        return;
      }
      std::this_thread::sleep_for(kLockPoll);
    }
  }
  ~FolderLock() {
    if (fd_ >= 0) ::close(fd_);  // closing lets the lock go
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  bool Held() const { return fd_ >= 0; }

 private:
  int fd_;
};

// Deletes a file when the scope ends.
class RemoveOnExit {
 public:
  explicit RemoveOnExit(std::string path) : path_(std::move(path)) {}
  ~RemoveOnExit() { ::unlink(path_.c_str()); }
  RemoveOnExit(const RemoveOnExit&) = delete;
  RemoveOnExit& operator=(const RemoveOnExit&) = delete;

 private:
  std::string path_;
};

// Restores the compiler's include list when the scope ends.
class IncludeListScope {
 public:
  IncludeListScope() : saved_(GSCompilerIncludePaths()) {}
  ~IncludeListScope() { GSCompilerIncludePaths() = saved_; }
  IncludeListScope(const IncludeListScope&) = delete;
  IncludeListScope& operator=(const IncludeListScope&) = delete;

 private:
  IncludePathList saved_;
};

bool WriteWhole(const std::string& path, const Kiv::String& text) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  const bool closed = ::close(fd) == 0;
  return done == text.size() && closed;
}

GSRuntime::GSClass* LoadClass(const std::string& folder) {
  GSMachine* machine = GetGSMachine();
  GSRuntime::GSLibraryId id{};
  if (!machine->AddLibrary(Kiv::PString(), folder, kLibraryName, &id)) return nullptr;
  GSRuntime::GSLibrary* library = machine->GetLibrary(id);
  return library != nullptr ? library->FindClass(kClassName) : nullptr;
}

}  // namespace

GSRuntime::GSClass* CompileOwnScript(const Kiv::String& text, const Kiv::String& assetFolder) {
  const std::string folder = GetUserDataPath().Str().empty() ? "." : GetCachePath().Str();
  Kiv::File::Md(folder);
  FolderLock lock(folder + "/" + kLockName);
  if (!lock.Held()) {
    LogMessage("ScriptableObject> cannot lock '%s/%s'", folder.c_str(), kLockName);
    return nullptr;
  }
  const std::string source = folder + "/" + kSourceName;
  const std::string output = folder + "/" + kLibraryName;
  RemoveOnExit removeSource(source);
  RemoveOnExit removeOutput(output);
  if (!WriteWhole(source, text)) {
    LogMessage("ScriptableObject> cannot write '%s'", source.c_str());
    return nullptr;
  }
  IncludeListScope restore;
  PathListClear(GSCompilerIncludePaths());
  if (!assetFolder.empty()) GSCompilerAddIncludePath(assetFolder);
  GSCompilerAddIncludePath(folder);
  GSCompilerAddIncludePath(GetScriptsPath().Str());
  CompileLog log;
  const int errors = GSCompileToLibrary(kSourceName, output.c_str(), &log);
  GSCompilerResetLog(&log);
  if (errors != 0) return nullptr;
  return LoadClass(folder);
}
