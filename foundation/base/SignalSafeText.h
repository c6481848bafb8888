// A line builder for signal handlers: appends text and numbers into a fixed
// buffer and writes it to a descriptor with write(2). Uses no heap, no
// locks and no stdio, so it is async-signal-safe. Text beyond the buffer is
// written in pieces (Append flushes when full). Write errors are ignored.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>

class SignalSafeText {
 public:
  explicit SignalSafeText(int fd) : fd_(fd) {}
  ~SignalSafeText() { Flush(); }
  SignalSafeText(const SignalSafeText&) = delete;
  SignalSafeText& operator=(const SignalSafeText&) = delete;

  SignalSafeText& Append(const char* text) {
    if (text == nullptr) return *this;
    for (; *text != '\0'; ++text) Put(*text);
    return *this;
  }
  SignalSafeText& AppendHex(uint64_t value) {
    char digits[16];
    int count = 0;
    do {
      digits[count++] = "0123456789abcdef"[value & 0xF];
      value >>= 4;
    } while (value != 0);
    while (count > 0) Put(digits[--count]);
    return *this;
  }
  SignalSafeText& AppendDecimal(int64_t value) {
    uint64_t magnitude =
        value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    if (value < 0) Put('-');
    char digits[20];
    int count = 0;
    do {
      digits[count++] = static_cast<char>('0' + magnitude % 10);
      magnitude /= 10;
    } while (magnitude != 0);
    while (count > 0) Put(digits[--count]);
    return *this;
  }
  void Flush() {
    size_t done = 0;
    while (done < used_) {
      ssize_t wrote = write(fd_, buffer_ + done, used_ - done);
      if (wrote < 0 && errno == EINTR) continue;
      if (wrote <= 0) break;
      done += static_cast<size_t>(wrote);
    }
    used_ = 0;
  }

 private:
  void Put(char c) {
    if (used_ == sizeof(buffer_)) Flush();
    buffer_[used_++] = c;
  }

  int fd_;
  size_t used_ = 0;
  char buffer_[1024];
};
