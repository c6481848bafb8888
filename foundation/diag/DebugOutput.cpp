#include "foundation/diag/DebugOutput.h"

#include <pthread.h>

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <new>
#include <vector>

#include "foundation/diag/LogFileSink.h"

namespace {

// Statically initialised, so it is usable before main and from a handler.
pthread_mutex_t g_log_lock = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;

bool KeptAsIs(wchar_t c) {
  if (c == L'\t' || c == L'\n' || c == L'\r') return true;
  if (c >= 0x20 && c <= 0x7F) return true;
  switch (c) {
    case 0x00AB:
    case 0x00B0:
    case 0x00BB:
    case 0x2013:
    case 0x2018:
    case 0x2019:
    case 0x201C:
    case 0x201D:
    case 0x2026:
      return true;
    default:
      return false;
  }
}

void AppendUtf8(std::string* out, uint32_t c) {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

}  // namespace

void LockLogOutput() {
  pthread_mutex_lock(&g_log_lock);
}
bool TryLockLogOutput() {
  return pthread_mutex_trylock(&g_log_lock) == 0;
}
void UnlockLogOutput() {
  pthread_mutex_unlock(&g_log_lock);
}

std::string LogTextFromWide(const wchar_t* text) {
  std::string out;
  if (text == nullptr) return out;
  for (; *text != L'\0'; ++text) {
    if (KeptAsIs(*text)) {
      AppendUtf8(&out, static_cast<uint32_t>(*text));
    } else {
      out.push_back('?');
    }
  }
  return out;
}

void LogLine(const char* text) {
  if (text == nullptr) return;
  LogOutputLock lock;
  std::string line(text);
  if (LogFileSink* sink = GetLogFileSink()) sink->WriteLine(line + "\r\n");
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
}

void DebugPrintf(const char* format, ...) {
  if (format == nullptr) return;
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  int needed = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  if (needed < 0) {
    va_end(again);
    return;
  }
  size_t length = std::min(static_cast<size_t>(needed), kMaxDebugText);
  std::string text(length + 1, '\0');
  std::vsnprintf(text.data(), text.size(), format, again);
  va_end(again);
  text.resize(length);
  LogLine(text.c_str());
}

void DebugPrintfW(const wchar_t* format, ...) {
  if (format == nullptr) return;
  // vswprintf cannot tell the length it needs: grow the buffer until the
  // text fits, up to kMaxDebugText characters, and cut it there.
  std::vector<wchar_t> buffer;
  for (size_t capacity = 4096;; capacity *= 2) {
    buffer.assign(capacity, L'\0');
    va_list args;
    va_start(args, format);
    int written = std::vswprintf(buffer.data(), capacity, format, args);
    va_end(args);
    if (written >= 0) break;
    if (capacity > kMaxDebugText) {
      buffer[kMaxDebugText] = L'\0';
      break;
    }
  }
  LogLine(LogTextFromWide(buffer.data()).c_str());
}
