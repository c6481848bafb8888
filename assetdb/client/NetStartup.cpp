#include "assetdb/client/NetStartup.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <mutex>

#include "assetdb/client/HostResolver.h"

namespace {

struct NetworkState {
  std::mutex lock;
  bool started = false;
  SSL_CTX* context = nullptr;
};

NetworkState& Network() {
  static NetworkState* state = new NetworkState;
  return *state;
}

SSL_CTX* MakeClientContext() {
  if (OPENSSL_init_ssl(OPENSSL_INIT_LOAD_SSL_STRINGS | OPENSSL_INIT_LOAD_CRYPTO_STRINGS, nullptr) !=
      1) {
    return nullptr;
  }
  return SSL_CTX_new(TLS_client_method());
}

}  // namespace

bool NetStartup() {
  NetworkState& state = Network();
  std::lock_guard<std::mutex> hold(state.lock);
  if (state.started) return true;
  state.started = true;
  HostResolver::AddUser();
  return true;
}

void NetShutdown() {
  NetworkState& state = Network();
  std::lock_guard<std::mutex> hold(state.lock);
  if (!state.started) return;
  HostResolver::RemoveUser();
  SSL_CTX_free(state.context);
  state.context = nullptr;
  state.started = false;
}

bool IsNetStarted() {
  NetworkState& state = Network();
  std::lock_guard<std::mutex> hold(state.lock);
  return state.started;
}

ssl_ctx_st* NetSSLClientContext() {
  NetworkState& state = Network();
  std::lock_guard<std::mutex> hold(state.lock);
  // OpenSSL is initialised on the first use of the SSL transport, not at
  // start-up: most commands never use it.
  if (state.started && state.context == nullptr) state.context = MakeClientContext();
  return state.context;
}
