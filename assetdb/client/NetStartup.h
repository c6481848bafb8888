// The process's network start-up and shut-down.
//
// NetStartup, once per process (later calls do nothing until NetShutdown):
// becomes a user of the host resolver, so that name resolution works, and
// answers true. OpenSSL is not touched at start-up: most commands never use
// the SSL transport.
//
// NetShutdown (nothing when not started): stops using the resolver (the last
// user waits for the resolver thread), frees the client context.
// NetSSLClientContext answers the one client context (TLS_client_method),
// loading the OpenSSL module (SslModule.h), initialising OpenSSL (with its
// error strings) and making the context on its first call after NetStartup;
// null while stopped, or when the module cannot be loaded, OpenSSL cannot be
// initialised or the context cannot be made (plain TCP and name resolution
// work all the same). OpenSSL 3 locks for itself, so no locking or
// thread-id callbacks are installed. The caller does not own the context.
// IsNetStarted tells whether networking is started. All four are
// thread-safe.
#pragma once

#include <cstdint>

struct ssl_ctx_st;

bool NetStartup();
void NetShutdown();
bool IsNetStarted();
ssl_ctx_st* NetSSLClientContext();
