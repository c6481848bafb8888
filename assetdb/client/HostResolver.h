// Host-name resolution, on a background thread with a bounded wait.
//
// ResolveHostName fills an IPv4 socket address (family AF_INET, `port` in
// network byte order, the trailing bytes zero) for `host`. "localhost" in any
// case gives 127.0.0.1 without a look-up; any other host is looked up with
// getaddrinfo (IPv4 only; the first address is taken). False (with the
// family, port and zero bytes still written) when the host does not resolve
// or is null. It blocks for as long as the system's look-up takes and is
// safe from any thread.
//
// HostResolver::Start resolves on the process's resolver thread and waits at
// most kWaitMs for the answer (a dotted IPv4 address, such as the daemon's
// 127.0.0.1, is converted at once without the thread while networking is
// started); a request that times out answers false even
// when the thread finishes it later (the late answer is dropped). The
// resolver thread runs only while networking is started (NetStartup): with
// no user, no thread starts and every call waits kWaitMs and fails, for
// "localhost" too. The thread is started by the first request, ends by itself
// when its queue is empty, is replaced by the next request, and is waited
// for by the last NetShutdown, so it never outlives shut-down (that wait
// lasts as long as a look-up in progress takes).
//
// AddUser and RemoveUser raise and lower the user count; NetStartup and
// NetShutdown call them. RemoveUser waits for the thread when the count
// reaches 0. Everything here is thread-safe.
#pragma once

#include <netinet/in.h>

#include <cstdint>

bool ResolveHostName(sockaddr_in* address, const char* host, uint16_t port);

class HostResolver {
 public:
  static constexpr uint32_t kWaitMs = 5000;

  static bool Start(const char* host, uint16_t port, sockaddr_in* address);
  static uint32_t ThreadMain(void* unused);

  static void AddUser();
  static void RemoveUser();

  // For tests and diagnostics: the user count, whether a resolver thread
  // object exists (running, or finished and not yet waited for), whether
  // the current thread has ended (its queue ran empty), and how many
  // requests wait in the queue.
  static uint32_t UserCount();
  static bool HasThread();
  static bool ThreadFinished();
  static uint32_t QueueLength();
};
