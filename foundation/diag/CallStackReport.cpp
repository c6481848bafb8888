#include "foundation/diag/CallStackReport.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <execinfo.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string_view>
#include <vector>

#include "foundation/base/SignalSafeText.h"
#include "foundation/diag/DebugOutput.h"

namespace {

constexpr size_t kCallStackTextLimit = 511;

// Where `address` lies: the module and, when the module exports one, the
// symbol. False when no module holds it.
bool Locate(void* address, Dl_info* info) {
  *info = Dl_info{};
  return dladdr(address, info) != 0 && info->dli_fname != nullptr;
}

uint64_t Offset(void* address, void* base) {
  return reinterpret_cast<uintptr_t>(address) - reinterpret_cast<uintptr_t>(base);
}

}  // namespace

void PrepareCallStackCapture() {
  static std::once_flag once;
  std::call_once(once, [] {
    void* warm[2];
    backtrace(warm, 2);
  });
}

void CaptureCallStack(CallStackCapture* out) {
  int count = backtrace(out->addresses, kMaxCallStackFrames);
  out->count = static_cast<uint16_t>(count < 0 ? 0 : count);
}

void WriteCallStackReport(int fd, const CallStackCapture& stack) {
  SignalSafeText text(fd);
  text.Append("callstack: ");
  for (int i = 0; i < stack.count; ++i) {
    text.AppendHex(reinterpret_cast<uintptr_t>(stack.addresses[i])).Append(" ");
  }
  text.Append("\n");
  for (int i = 0; i < stack.count; ++i) {
    Dl_info info;
    bool found = Locate(stack.addresses[i], &info);
    text.Append("  ").Append(found ? info.dli_fname : "?").Append(" ");
    if (found && info.dli_sname != nullptr && info.dli_saddr != nullptr) {
      text.Append(info.dli_sname)
          .Append("+0x")
          .AppendHex(Offset(stack.addresses[i], info.dli_saddr));
    } else if (found) {
      text.Append("+0x").AppendHex(Offset(stack.addresses[i], info.dli_fbase));
    }
    text.Append(" [<unknown>:-1]\n");
  }
}

CallStackFrame DescribeCallStackFrame(void* address) {
  CallStackFrame frame;
  Dl_info info;
  if (!Locate(address, &info)) return frame;
  frame.module = info.dli_fname;
  char offset[32];
  if (info.dli_sname == nullptr || info.dli_saddr == nullptr) {
    std::snprintf(offset, sizeof(offset), "+0x%llx",
                  static_cast<unsigned long long>(Offset(address, info.dli_fbase)));
    frame.function = offset;
    return frame;
  }
  int status = -1;
  char* demangled = abi::__cxa_demangle(info.dli_sname, nullptr, nullptr, &status);
  frame.function = (status == 0 && demangled != nullptr) ? demangled : info.dli_sname;
  std::free(demangled);
  std::snprintf(offset, sizeof(offset), "+0x%llx",
                static_cast<unsigned long long>(Offset(address, info.dli_saddr)));
  frame.function += offset;
  return frame;
}

std::vector<std::string> CallStackLines() {
  PrepareCallStackCapture();
  CallStackCapture stack;
  CaptureCallStack(&stack);
  std::string addresses;
  for (int i = 0; i < stack.count; ++i) {
    char one[24];
    std::snprintf(one, sizeof(one), "%llx ",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(stack.addresses[i])));
    if (addresses.size() + std::string_view(one).size() > kCallStackTextLimit) break;
    addresses += one;
  }
  std::vector<std::string> lines;
  lines.push_back("callstack: " + addresses);
  for (int i = 0; i < stack.count; ++i) {
    CallStackFrame frame = DescribeCallStackFrame(stack.addresses[i]);
    lines.push_back("  " + frame.module + " " + frame.function + " [" + frame.file + ":" +
                    std::to_string(frame.line) + "]");
  }
  return lines;
}

void LogCallStack() {
  LogOutputLock lock;
  for (const std::string& line : CallStackLines()) LogLine(line.c_str());
}
