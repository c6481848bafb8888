// Diagnostic output of the platform layer.
//
// LogLine(text) writes one line: to the installed log-file sink (if any,
// as text + "\r\n"), then to standard output (text + "\n", flushed). Each
// line is written whole; lines from different threads never mix. A null
// text writes nothing.
//
// DebugPrintf / DebugPrintfW format printf-style (narrow / wide) and pass
// the text to LogLine; a null format writes nothing. Texts longer than
// kMaxDebugText characters are cut there; nothing longer is allocated.
// Wide texts become UTF-8 through LogTextFromWide: tab, line feed, carriage
// return, U+0020-U+007F, U+00AB, U+00B0, U+00BB, U+2013, U+2018, U+2019,
// U+201C, U+201D and U+2026 are kept, every other character becomes "?".
//
// The log output lock serialises log lines, sink operations and crash
// reports. It is recursive and needs no initialisation, so a crash handler
// may try it (TryLockLogOutput) without blocking; a successful try must be
// matched by UnlockLogOutput. LogOutputLock holds it for a scope.
#pragma once

#include <string>

constexpr size_t kMaxDebugText = 65535;

void LogLine(const char* text);
void DebugPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
void DebugPrintfW(const wchar_t* format, ...);

std::string LogTextFromWide(const wchar_t* text);

void LockLogOutput();
bool TryLockLogOutput();
void UnlockLogOutput();

class LogOutputLock {
 public:
  LogOutputLock() { LockLogOutput(); }
  ~LogOutputLock() { UnlockLogOutput(); }
  LogOutputLock(const LogOutputLock&) = delete;
  LogOutputLock& operator=(const LogOutputLock&) = delete;
};
