// A process-local mutex, its scoped lock and the exception it reports with.
//
// OS::Mutex is recursive: the thread that holds it may take it again and
// must release it as often. It is a CountedMutex (a Kiv::CriticalSection
// that knows its holder) answering errno values. OS::MutexLock takes the
// mutex on construction and releases it on destruction. A failed take
// throws OSException (the only throw here; callers inside this module catch
// it). A failed release never throws, because it happens in a destructor:
// it is logged instead ("Failed to release the mutex" when the thread does
// not hold it).
//
// OSException carries a message; what() answers it (an empty message gives
// an empty text).
#pragma once

#include <exception>
#include <string>
#include <utility>

#include "foundation/base/CountedMutex.h"

class OSException : public std::exception {
 public:
  explicit OSException(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override;

 private:
  std::string message_;
};

namespace OS {

class Mutex {
 public:
  Mutex() = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  // 0 on success, else an errno value (EPERM: not held by this thread).
  int Lock();
  int Unlock();

 private:
  CountedMutex mutex_;
};

class MutexLock {
 public:
  // Throws OSException when the mutex cannot be taken.
  explicit MutexLock(Mutex* mutex);
  ~MutexLock();
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

 private:
  Mutex* mutex_;
};

}  // namespace OS
