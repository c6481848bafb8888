// The call stack of the calling thread, as text.
//
// CaptureCallStack records up to kMaxCallStackFrames return addresses
// (backtrace). WriteCallStackReport writes them to a descriptor as
//   "callstack: <hex> <hex> ...\n"
// followed by one line per frame, "  <module> <function> [<file>:<line>]\n".
// The module is the path of the shared object or executable holding the
// address; the function is the symbol's (mangled) name plus the offset
// into it ("name+0x1f"), or, when the object exports no symbol there, the
// offset into the module ("+0x1a2b", for addr2line). Source files and lines
// are not looked up: "<unknown>" and -1.
//
// Signal safety: after PrepareCallStackCapture has run once (it makes
// backtrace load the unwinder, which allocates), CaptureCallStack and
// WriteCallStackReport use no heap, no stdio and no locks of their own, so
// a crash handler may use them. dladdr takes the dynamic loader's lock,
// which is recursive: a crash on a thread that holds it still reports,
// a crash while another thread is loading a library may block the report.
//
// LogCallStack logs the calling thread's stack through DebugPrintf: the
// "callstack: " line (addresses as "%llx ", cut before 512 characters)
// and one "  %s %s [%s:%d]" line per frame, with demangled names. It
// allocates and locks, so it is not for signal handlers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr int kMaxCallStackFrames = 64;

struct CallStackCapture {
  uint16_t count = 0;
  void* addresses[kMaxCallStackFrames];
};

struct CallStackFrame {
  std::string module;
  std::string function;
  std::string file = "<unknown>";
  int line = -1;
};

void PrepareCallStackCapture();
void CaptureCallStack(CallStackCapture* out);
void WriteCallStackReport(int fd, const CallStackCapture& stack);

// Module and function of one address (demangled); not signal-safe.
CallStackFrame DescribeCallStackFrame(void* address);
// The lines LogCallStack logs (without line ends); not signal-safe.
std::vector<std::string> CallStackLines();
void LogCallStack();
