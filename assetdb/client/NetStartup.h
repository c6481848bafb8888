// The process's network start-up and shut-down.
//
// NetStartup, once per process (later calls do nothing until NetShutdown):
// initialises OpenSSL (with its error strings), makes the one client context
// (TLS_client_method) and becomes a user of the host resolver, so that name
// resolution works. OpenSSL 3 locks for itself, so no locking or thread-id
// callbacks are installed. Answers false when OpenSSL cannot be initialised
// or the context cannot be made; networking is started all the same (plain
// TCP and name resolution work, and the context stays null).
//
// NetShutdown (nothing when not started): stops using the resolver (the last
// user waits for the resolver thread), frees the client context.
// NetSSLClientContext answers the client context (null while stopped); the
// caller does not own it. IsNetStarted tells whether networking is started.
// All four are thread-safe.
#pragma once

#include <cstdint>

struct ssl_ctx_st;

bool NetStartup();
void NetShutdown();
bool IsNetStarted();
ssl_ctx_st* NetSSLClientContext();
