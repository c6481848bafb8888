// SslModule: the OpenSSL calls of the SSL transport, in a shared module of
// their own (libvu_ssl.so, built from assetdb/client/sslmodule/) that alone
// links libssl and libcrypto. The tool loads it on the first use of the SSL
// transport (NetSSLClientContext), so a command that never uses it neither
// maps OpenSSL nor runs its initialisation.
//
// The module exports VuSslModuleFunctions, which answers the table below
// (static, never freed):
//   newClientContext  initialises OpenSSL (with its error strings) and makes
//                     a context of TLS_client_method; null on failure.
//   freeContext       SSL_CTX_free (null does nothing).
//   closeConnection   shuts a connection down (a failure, e.g. for a
//                     connection that never finished its handshake, is
//                     cleared from the thread's error queue) and frees it.
//   read, peek, write SSL_read, SSL_peek and SSL_write.
//
// LoadedSslModule answers the table, loading the module once per process
// (beside the program, else from the build tree: ProgramModule.h); null when
// it cannot be loaded, with the reason in `*error` when `error` is given.
// Thread-safe.
#pragma once

#include <string>

struct ssl_st;
struct ssl_ctx_st;

extern "C" {

struct VuSslFunctions {
  ssl_ctx_st* (*newClientContext)();
  void (*freeContext)(ssl_ctx_st* context);
  void (*closeConnection)(ssl_st* ssl);
  int (*read)(ssl_st* ssl, void* buffer, int length);
  int (*peek)(ssl_st* ssl, void* buffer, int length);
  int (*write)(ssl_st* ssl, const void* buffer, int length);
};

typedef const VuSslFunctions* (*VuSslModuleFunctionsEntry)();

}  // extern "C"

constexpr const char* kSslModuleFile = "libvu_ssl.so";
constexpr const char* kSslModuleSymbol = "VuSslModuleFunctions";

const VuSslFunctions* LoadedSslModule(std::string* error = nullptr);
