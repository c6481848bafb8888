#include "assetdb/client/HostResolver.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <string>

#include "kiv/CriticalSection.h"
#include "kiv/String.h"
#include "kiv/Thread.h"
#include "kiv/WEvent.h"

namespace {

// One waiting caller. It lives on the caller's stack and is in the queue
// only while the caller waits for it.
struct ResolverRequest {
  Kiv::WEvent event;
  Kiv::String host;
  uint16_t port = 0;
  sockaddr_in* address = nullptr;
  bool result = false;
};

struct ResolverState {
  Kiv::CriticalSection lock;
  std::deque<ResolverRequest*> queue;
  Kiv::Thread* thread = nullptr;
  bool finished = false;
  uint32_t users = 0;
  // Tells the current thread from one that shut-down has taken away (and
  // is waiting for): only the current one serves the queue.
  uintptr_t generation = 0;
};

// Never destroyed: a resolver thread may still run while static objects are
// torn down at process exit.
ResolverState& State() {
  static ResolverState* state = new ResolverState;
  return *state;
}

// Under the lock: waits for a thread that has finished and forgets it, then
// starts one when there are users and none runs.
void EnsureThreadLocked(ResolverState& state) {
  if (state.finished && state.thread != nullptr) {
    delete state.thread;
    state.thread = nullptr;
  }
  if (state.users == 0 || state.thread != nullptr) return;
  state.finished = false;
  ++state.generation;
  void* argument = reinterpret_cast<void*>(state.generation);
  state.thread = new (std::nothrow) Kiv::Thread(&HostResolver::ThreadMain, argument);
  if (state.thread != nullptr && !state.thread->StartedOk()) {
    delete state.thread;
    state.thread = nullptr;
  }
}

}  // namespace

bool ResolveHostName(sockaddr_in* address, const char* host, uint16_t port) {
  if (address == nullptr) return false;
  std::memset(address, 0, sizeof(*address));
  address->sin_family = AF_INET;
  address->sin_port = htons(port);
  if (host == nullptr) return false;
  if (Kiv::EqualsIgnoreCase(host, "localhost")) {
    address->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return true;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* results = nullptr;
  if (::getaddrinfo(host, nullptr, &hints, &results) != 0 || results == nullptr) return false;
  bool found = false;
  for (const addrinfo* entry = results; entry != nullptr && !found; entry = entry->ai_next) {
    if (entry->ai_family != AF_INET || entry->ai_addr == nullptr) continue;
    if (entry->ai_addrlen < sizeof(sockaddr_in)) continue;
    address->sin_addr = reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr;
    found = true;
  }
  ::freeaddrinfo(results);
  return found;
}

bool HostResolver::Start(const char* host, uint16_t port, sockaddr_in* address) {
  if (host == nullptr || address == nullptr) return false;
  ResolverState& state = State();
  ResolverRequest request;
  try {
    request.host = host;
  } catch (const std::bad_alloc&) {
    return false;
  }
  request.port = port;
  request.address = address;
  {
    Kiv::SingleLock hold(state.lock);
    // A dotted IPv4 address needs no look-up: it is answered here, without
    // waking the resolver thread.
    in_addr numeric{};
    if (state.users > 0 && ::inet_pton(AF_INET, host, &numeric) == 1) {
      std::memset(address, 0, sizeof(*address));
      address->sin_family = AF_INET;
      address->sin_port = htons(port);
      address->sin_addr = numeric;
      return true;
    }
    state.queue.push_back(&request);
    EnsureThreadLocked(state);
  }
  request.event.Wait(kWaitMs);
  Kiv::SingleLock hold(state.lock);
  auto it = std::find(state.queue.begin(), state.queue.end(), &request);
  if (it != state.queue.end()) state.queue.erase(it);
  return request.result;
}

uint32_t HostResolver::ThreadMain(void* argument) {
  const auto generation = reinterpret_cast<uintptr_t>(argument);
  ResolverState& state = State();
  std::unique_lock<Kiv::CriticalSection> hold(state.lock);
  while (state.generation == generation && state.users > 0 && !state.queue.empty()) {
    const ResolverRequest* front = state.queue.front();
    const Kiv::String host = front->host;
    const uint16_t port = front->port;
    hold.unlock();
    sockaddr_in local{};
    const bool resolved = ResolveHostName(&local, host.c_str(), port);
    hold.lock();
    // The caller may have given up meanwhile; then the answer is dropped.
    if (state.queue.empty()) continue;
    ResolverRequest* request = state.queue.front();
    if (request->host != host || request->port != port) continue;
    *request->address = local;
    request->result = resolved;
    state.queue.pop_front();
    request->event.Set();
  }
  if (state.generation == generation) state.finished = true;
  return 0;
}

void HostResolver::AddUser() {
  ResolverState& state = State();
  Kiv::SingleLock hold(state.lock);
  ++state.users;
}

void HostResolver::RemoveUser() {
  ResolverState& state = State();
  Kiv::Thread* thread = nullptr;
  {
    Kiv::SingleLock hold(state.lock);
    if (state.users > 0) --state.users;
    if (state.users == 0 && state.thread != nullptr) {
      std::swap(thread, state.thread);
      ++state.generation;
    }
  }
  // Outside the lock: the thread takes it to see that it must end.
  delete thread;
}

uint32_t HostResolver::UserCount() {
  ResolverState& state = State();
  Kiv::SingleLock hold(state.lock);
  return state.users;
}

bool HostResolver::HasThread() {
  ResolverState& state = State();
  Kiv::SingleLock hold(state.lock);
  return state.thread != nullptr;
}

bool HostResolver::ThreadFinished() {
  ResolverState& state = State();
  Kiv::SingleLock hold(state.lock);
  return state.finished;
}

uint32_t HostResolver::QueueLength() {
  ResolverState& state = State();
  Kiv::SingleLock hold(state.lock);
  return static_cast<uint32_t>(state.queue.size());
}
