// The OpenSSL module (see assetdb/client/SslModule.h): the transport's
// OpenSSL calls behind one table.
#include "assetdb/client/SslModule.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

namespace {

ssl_ctx_st* NewClientContext() {
  if (OPENSSL_init_ssl(OPENSSL_INIT_LOAD_SSL_STRINGS | OPENSSL_INIT_LOAD_CRYPTO_STRINGS, nullptr) !=
      1)
    return nullptr;
  return SSL_CTX_new(TLS_client_method());
}

void FreeContext(ssl_ctx_st* context) {
  SSL_CTX_free(context);
}

void CloseConnection(ssl_st* ssl) {
  if (ssl == nullptr) return;
  if (SSL_shutdown(ssl) < 0) ERR_clear_error();
  SSL_free(ssl);
}

int Read(ssl_st* ssl, void* buffer, int length) {
  return SSL_read(ssl, buffer, length);
}

int Peek(ssl_st* ssl, void* buffer, int length) {
  return SSL_peek(ssl, buffer, length);
}

int Write(ssl_st* ssl, const void* buffer, int length) {
  return SSL_write(ssl, buffer, length);
}

constexpr VuSslFunctions kFunctions = {&NewClientContext, &FreeContext, &CloseConnection,
                                       &Read,             &Peek,        &Write};

}  // namespace

extern "C" __attribute__((visibility("default"))) const VuSslFunctions* VuSslModuleFunctions() {
  return &kFunctions;
}
