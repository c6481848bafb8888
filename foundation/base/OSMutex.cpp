#include "foundation/base/OSMutex.h"

#include <cerrno>
#include <cstring>
#include <system_error>

#include "foundation/base/LogMessage.h"

const char* OSException::what() const noexcept {
  return message_.c_str();
}

namespace OS {

int Mutex::Lock() {
  try {
    mutex_.Lock();
  } catch (const std::system_error& error) {
    return error.code().value();
  }
  return 0;
}

int Mutex::Unlock() {
  return mutex_.Unlock() ? 0 : EPERM;
}

MutexLock::MutexLock(Mutex* mutex) : mutex_(mutex) {
  int error = mutex_->Lock();
  if (error != 0)
    throw OSException(std::string("Failed to take the mutex: ") + std::strerror(error));
}

MutexLock::~MutexLock() {
  int error = mutex_->Unlock();
  if (error == 0) return;
  // Throwing here would end the process (destructors are noexcept).
  if (error == EPERM) {
    LogMessage("Failed to release the mutex");
    return;
  }
  LogMessage("Failed to release the mutex: %s", std::strerror(error));
}

}  // namespace OS
