#include "foundation/threads/CallGuarded.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

namespace {

constexpr int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE};
constexpr int kSignalCount = sizeof(kFaultSignals) / sizeof(kFaultSignals[0]);
constexpr size_t kAltStackSize = 64 * 1024;

std::atomic<bool> g_guard_on{false};
struct sigaction g_previous[kSignalCount];

// Number of guarded calls under way on this thread. A plain int, so that the
// signal handler can read it without running any initialiser.
thread_local int t_guard_depth = 0;

// An alternate signal stack for threads that have none, so that a stack
// overflow inside a guarded call still reaches the handler.
struct AltStack {
  std::unique_ptr<char[]> memory;
  ~AltStack() {
    if (!memory) return;
    stack_t off{};
    off.ss_flags = SS_DISABLE;
    sigaltstack(&off, nullptr);
  }
};
thread_local AltStack t_alt_stack;

void EnsureAltStack() {
  if (t_alt_stack.memory) return;
  stack_t current{};
  if (sigaltstack(nullptr, &current) != 0) return;
  if ((current.ss_flags & SS_DISABLE) == 0) return;  // The thread has one already.
  std::unique_ptr<char[]> memory(new (std::nothrow) char[kAltStackSize]);
  if (!memory) return;
  stack_t stack{};
  stack.ss_sp = memory.get();
  stack.ss_size = kAltStackSize;
  if (sigaltstack(&stack, nullptr) == 0) t_alt_stack.memory = std::move(memory);
}

// True when a tracer (a debugger) is attached. Uses only calls that are safe
// in a signal handler.
bool TracerAttached() {
  int fd = open("/proc/self/status", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char buffer[4096];
  ssize_t got = read(fd, buffer, sizeof(buffer) - 1);
  close(fd);
  if (got <= 0) return false;
  buffer[got] = '\0';
  const char* field = strstr(buffer, "TracerPid:");
  if (field == nullptr) return false;
  field += strlen("TracerPid:");
  while (*field == ' ' || *field == '\t') ++field;
  return *field >= '1' && *field <= '9';
}

int SignalIndex(int signal_number) {
  for (int i = 0; i < kSignalCount; ++i) {
    if (kFaultSignals[i] == signal_number) return i;
  }
  return -1;
}

void OnFault(int signal_number, siginfo_t* info, void* context) {
  if (t_guard_depth > 0 && g_guard_on.load() && !TracerAttached()) _exit(kGuardedCallExitStatus);
  int index = SignalIndex(signal_number);
  if (index >= 0) {
    const struct sigaction& previous = g_previous[index];
    if ((previous.sa_flags & SA_SIGINFO) != 0 && previous.sa_sigaction != nullptr) {
      previous.sa_sigaction(signal_number, info, context);
      return;
    }
    if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN &&
        previous.sa_handler != nullptr) {
      previous.sa_handler(signal_number);
      return;
    }
  }
  // The default action: delivered again once this handler returns.
  signal(signal_number, SIG_DFL);
  raise(signal_number);
}

void InstallHandlers() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (int i = 0; i < kSignalCount; ++i) {
      struct sigaction action {};
      action.sa_sigaction = OnFault;
      action.sa_flags = SA_SIGINFO | SA_ONSTACK;
      sigemptyset(&action.sa_mask);
      sigaction(kFaultSignals[i], &action, &g_previous[i]);
    }
  });
}

[[noreturn]] void EndOnEscapedException() {
  std::fflush(stdout);
  std::fflush(stderr);
  _exit(kGuardedCallExitStatus);
}

}  // namespace

void SetExceptionGuardFlag(bool on) {
  if (on) InstallHandlers();
  g_guard_on.store(on);
}

bool GetExceptionGuardFlag() {
  return g_guard_on.load();
}

int CallGuarded(TCXCallbackBase* callback, void* argument) {
  if (callback == nullptr) return -1;
  if (!g_guard_on.load()) return callback->Invoke(argument);
  EnsureAltStack();
  ++t_guard_depth;
  int result = -1;
  try {
    result = callback->Invoke(argument);
  } catch (...) {
    if (!TracerAttached()) EndOnEscapedException();
    --t_guard_depth;
    throw;
  }
  --t_guard_depth;
  return result;
}

int RunGuardedCall(TCXCallbackBase* object) {
  return CallGuarded(object, nullptr);
}
