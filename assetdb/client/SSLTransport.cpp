#include "assetdb/client/SSLTransport.h"

#include <signal.h>

#include <cerrno>
#include <ctime>

#include "assetdb/client/SslModule.h"

namespace {

// OpenSSL writes to the socket with plain write(), which raises SIGPIPE when
// the peer has gone. This holds SIGPIPE back on the calling thread for the
// scope and discards one that the scope raised, so the process never sees
// it (a SIGPIPE that was already pending before is left alone).
class SigpipeGuard {
 public:
  SigpipeGuard() {
    sigset_t pending;
    sigemptyset(&pending);
    sigpending(&pending);
    wasPending_ = sigismember(&pending, SIGPIPE) == 1;
    sigset_t block;
    sigemptyset(&block);
    sigaddset(&block, SIGPIPE);
    blocked_ = pthread_sigmask(SIG_BLOCK, &block, &old_) == 0;
  }
  ~SigpipeGuard() {
    if (!blocked_) return;
    if (!wasPending_) Discard();
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
  }
  SigpipeGuard(const SigpipeGuard&) = delete;
  SigpipeGuard& operator=(const SigpipeGuard&) = delete;

 private:
  static void Discard() {
    sigset_t pending;
    sigemptyset(&pending);
    if (sigpending(&pending) != 0 || sigismember(&pending, SIGPIPE) != 1) return;
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    const timespec zero{0, 0};
    const int savedErrno = errno;
    while (sigtimedwait(&pipe, nullptr, &zero) == -1 && errno == EINTR) {
    }
    errno = savedErrno;
  }

  sigset_t old_{};
  bool blocked_ = false;
  bool wasPending_ = false;
};

}  // namespace

SSLTransport::SSLTransport(ssl_st* ssl, int socket) : ssl_(ssl) {
  Attach(socket);
}

SSLTransport::~SSLTransport() {
  if (ssl_ == nullptr) return;
  SigpipeGuard guard;
  // A connection object comes from a context of the module, so the module
  // is loaded whenever there is one to close.
  if (const VuSslFunctions* ssl = LoadedSslModule()) ssl->closeConnection(ssl_);
  ssl_ = nullptr;
}

int SSLTransport::Read(void* buffer, int length) {
  if (ssl_ == nullptr || buffer == nullptr || length < 0) return -1;
  SigpipeGuard guard;  // A read may have to write (a handshake or renegotiation).
  const VuSslFunctions* ssl = LoadedSslModule();
  return ssl != nullptr ? ssl->read(ssl_, buffer, length) : -1;
}

int SSLTransport::Peek(void* buffer, int length) {
  if (ssl_ == nullptr || buffer == nullptr || length < 0) return -1;
  SigpipeGuard guard;
  const VuSslFunctions* ssl = LoadedSslModule();
  return ssl != nullptr ? ssl->peek(ssl_, buffer, length) : -1;
}

int SSLTransport::Write(const void* buffer, int length) {
  if (ssl_ == nullptr || buffer == nullptr || length < 0) return -1;
  SigpipeGuard guard;
  const VuSslFunctions* ssl = LoadedSslModule();
  return ssl != nullptr ? ssl->write(ssl_, buffer, length) : -1;
}

NetTransport* SSLTransport::Reconnect(uint16_t) {
  return nullptr;
}

bool SSLTransport::BytesAvailable() {
  return true;
}
