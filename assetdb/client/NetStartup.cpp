#include "assetdb/client/NetStartup.h"

#include <mutex>

#include "assetdb/client/HostResolver.h"
#include "assetdb/client/SslModule.h"

namespace {

struct NetworkState {
  std::mutex lock;
  bool started = false;
  ssl_ctx_st* context = nullptr;
};

NetworkState& Network() {
  static NetworkState* state = new NetworkState;
  return *state;
}

ssl_ctx_st* MakeClientContext() {
  const VuSslFunctions* ssl = LoadedSslModule();
  return ssl != nullptr ? ssl->newClientContext() : nullptr;
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
  // A context was made through the module, which is therefore loaded.
  if (state.context != nullptr) LoadedSslModule()->freeContext(state.context);
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
  // OpenSSL is loaded and initialised on the first use of the SSL
  // transport, not at start-up: most commands never use it.
  if (state.started && state.context == nullptr) state.context = MakeClientContext();
  return state.context;
}
