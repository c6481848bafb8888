#include "foundation/diag/CrashHandlers.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "foundation/base/SignalSafeText.h"
#include "foundation/diag/CallStackReport.h"
#include "foundation/diag/DebugOutput.h"
#include "foundation/diag/LogFileName.h"
#include "foundation/diag/LogFileSink.h"

namespace {

constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
constexpr int kCrashSignalCount = sizeof(kCrashSignals) / sizeof(kCrashSignals[0]);
constexpr int kConsoleSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr size_t kAltStackSize = 256 * 1024;
constexpr unsigned kSinkStepSeconds = 10;

std::atomic<bool> g_installed{false};
std::atomic<bool> g_termination_allowed{false};
std::atomic<bool> g_exit_dump_armed{false};
std::atomic<bool> g_close_requested{false};
std::atomic<bool> g_dump_in_progress{false};

struct sigaction g_previous[kCrashSignalCount];
// The report's first-choice path, fixed when the handlers are installed.
char g_dump_path[kMaxLogFilePath];
// The path actually written.
char g_written_path[kMaxLogFilePath + 16];
alignas(16) char g_alt_stack[kAltStackSize];

// Restores errno for the interrupted code when a handler returns.
class ErrnoKeeper {
 public:
  ErrnoKeeper() : saved_(errno) {}
  ~ErrnoKeeper() { errno = saved_; }
  ErrnoKeeper(const ErrnoKeeper&) = delete;
  ErrnoKeeper& operator=(const ErrnoKeeper&) = delete;

 private:
  int saved_;
};

int ConsoleEventType(int signal_number) {
  if (signal_number == SIGINT) return 0;
  if (signal_number == SIGHUP) return 2;
  return 6;
}

void OnConsoleSignal(int signal_number) {
  ErrnoKeeper keep;
  SignalSafeText(STDOUT_FILENO)
      .Append("Console Window event handler called for CtrlType=")
      .AppendDecimal(ConsoleEventType(signal_number))
      .Append("\n");
  if (g_termination_allowed.load()) {
    g_exit_dump_armed.store(false);
    signal(signal_number, SIG_DFL);
    raise(signal_number);  // Delivered, and fatal, once this handler returns.
    return;
  }
  g_close_requested.store(true);
}

int SignalIndex(int signal_number) {
  for (int i = 0; i < kCrashSignalCount; ++i) {
    if (kCrashSignals[i] == signal_number) return i;
  }
  return -1;
}

void OnCrash(int signal_number, siginfo_t* info, void* context);

// Runs the handler that was installed before ours; it may end the process.
void CallPrevious(int signal_number, siginfo_t* info, void* context) {
  int index = SignalIndex(signal_number);
  if (index < 0) return;
  const struct sigaction& previous = g_previous[index];
  if ((previous.sa_flags & SA_SIGINFO) != 0) {
    if (previous.sa_sigaction != nullptr && previous.sa_sigaction != OnCrash) {
      previous.sa_sigaction(signal_number, info, context);
    }
    return;
  }
  if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN &&
      previous.sa_handler != nullptr) {
    previous.sa_handler(signal_number);
  }
}

void OnCrash(int signal_number, siginfo_t* info, void* context) {
  CallPrevious(signal_number, info, context);
  CreateMiniDump(signal_number, info);
  signal(signal_number, SIG_DFL);
  raise(signal_number);
}

void OnExit() {
  if (g_exit_dump_armed.load()) WriteDumpNow();
}

// Creates the report file under the first free name; -1 when none can be.
int CreateReportFile() {
  if (g_dump_path[0] == '\0') return -1;
  for (int number = 1; number <= kMaxLogFileNumber; ++number) {
    if (!ComposeNumberedPath(g_written_path, sizeof(g_written_path), g_dump_path, number))
      return -1;
    int fd = open(g_written_path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) return fd;
    if (errno != EEXIST) return -1;
  }
  return -1;
}

void WriteReport(int fd, int signal_number, const siginfo_t* info) {
  {
    SignalSafeText text(fd);
    if (signal_number == 0) {
      text.Append("report written on request\n");
    } else {
      text.Append("signal ").AppendDecimal(signal_number);
      const char* description = sigabbrev_np(signal_number);
      if (description != nullptr) text.Append(" (SIG").Append(description).Append(")");
      if (info != nullptr) text.Append(", code ").AppendDecimal(info->si_code);
      // Only a fault raised by the processor has an address; a signal sent
      // by a process (code 0 or below) has none.
      if (info != nullptr && info->si_code > 0) {
        text.Append(", address 0x").AppendHex(reinterpret_cast<uintptr_t>(info->si_addr));
      }
      text.Append("\n");
    }
    text.Append("process ").AppendDecimal(getpid()).Append(", thread ").AppendDecimal(gettid());
    text.Append(", build ").AppendDecimal(kBuildNumber).Append("\n");
  }
  CallStackCapture stack;
  CaptureCallStack(&stack);
  WriteCallStackReport(fd, stack);
}

// Not signal-safe (see the header): runs only when the log lock is free,
// and writes to the sink alone, not to standard output, whose stdio lock
// another thread may hold. The heap may be what crashed, so an alarm ends
// the process should this step hang.
void ReportToSink() {
  LogFileSink* sink = GetLogFileSink();
  if (sink == nullptr || !TryLockLogOutput()) return;
  alarm(kSinkStepSeconds);
  sink->MakeImmediate();
  sink->WriteLine(std::string("CreateMiniDump: ") + g_written_path + "\r\n");
  for (const std::string& line : CallStackLines()) sink->WriteLine(line + "\r\n");
  alarm(0);
  UnlockLogOutput();
}

void EnsureAltStack() {
  stack_t current{};
  if (sigaltstack(nullptr, &current) != 0 || (current.ss_flags & SS_DISABLE) == 0) return;
  stack_t stack{};
  stack.ss_sp = g_alt_stack;
  stack.ss_size = kAltStackSize;
  sigaltstack(&stack, nullptr);
}

void ResolveDumpPath() {
  g_dump_path[0] = '\0';
  std::string folder;
  if (!PrepareLogFileFolder(nullptr, &folder)) return;
  std::string path = folder + "Vandru-" + std::to_string(kBuildNumber) + ".dmp";
  if (path.size() >= sizeof(g_dump_path)) return;
  std::memcpy(g_dump_path, path.c_str(), path.size() + 1);
}

void InstallSignalHandlers() {
  for (int i = 0; i < kCrashSignalCount; ++i) {
    struct sigaction action {};
    action.sa_sigaction = OnCrash;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    sigaction(kCrashSignals[i], &action, &g_previous[i]);
  }
  for (int signal_number : kConsoleSignals) {
    struct sigaction action {};
    action.sa_handler = OnConsoleSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(signal_number, &action, nullptr);
  }
}

}  // namespace

void InstallCrashHandlers(bool allow_termination) {
  g_termination_allowed.store(allow_termination);
  g_exit_dump_armed.store(true);
  if (g_installed.exchange(true)) return;
  PrepareCallStackCapture();
  ResolveDumpPath();
  EnsureAltStack();
  InstallSignalHandlers();
  std::atexit(OnExit);
}

void DisableConsoleClose() {}

bool ConsoleCloseRequested() {
  return g_close_requested.load();
}

void AllowConsoleTermination() {
  g_exit_dump_armed.store(false);
  g_termination_allowed.store(true);
}

void CreateMiniDump(int signal_number, const siginfo_t* info) {
  if (g_dump_in_progress.exchange(true)) return;
  ErrnoKeeper keep;
  g_written_path[0] = '\0';
  int fd = CreateReportFile();
  if (fd >= 0) {
    WriteReport(fd, signal_number, info);
    close(fd);
  } else {
    g_written_path[0] = '\0';
  }
  ReportToSink();
}

void WriteDumpNow() {
  CreateMiniDump(0, nullptr);
}
