#include "foundation/base/OSMutex.h"

#include <cerrno>
#include <cstring>

#include "foundation/base/LogMessage.h"

const char* OSException::what() const noexcept {
  return message_.c_str();
}

namespace OS {

Mutex::Mutex() {
  pthread_mutexattr_t attributes;
  pthread_mutexattr_init(&attributes);
  pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(&mutex_, &attributes);
  pthread_mutexattr_destroy(&attributes);
}

Mutex::~Mutex() {
  pthread_mutex_destroy(&mutex_);
}

int Mutex::Lock() {
  return pthread_mutex_lock(&mutex_);
}

int Mutex::Unlock() {
  return pthread_mutex_unlock(&mutex_);
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
