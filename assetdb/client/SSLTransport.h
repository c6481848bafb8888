// A NetTransport over an OpenSSL connection object.
//
// The program never sets up an SSL connection; this transport exists so that
// the connection code can hold and destroy one like any other. The
// constructor takes ownership of an OpenSSL connection object (may be null)
// and of the socket under it (-1 for none); the state is kReady when there is
// a socket, kNotConnected otherwise. Nothing is connected here.
//
// Read, Peek and Write are OpenSSL's read, peek and write on the object
// (through the OpenSSL module, SslModule.h) and answer -1 when there is none
// (or the length is negative, or the module cannot be loaded); an OpenSSL
// failure answers 0 or a negative value. While OpenSSL writes to the socket
// SIGPIPE is held back and discarded, so a peer that has gone never raises
// it. Close is the common one (state kClosed, socket shut down). Reconnect
// answers null. BytesAvailable answers true. The destructor shuts the
// object's connection down and frees it when there is one, then closes the
// socket.
#pragma once

#include <cstdint>

#include "assetdb/client/NetTransport.h"

struct ssl_st;

class SSLTransport : public NetTransport {
 public:
  SSLTransport(ssl_st* ssl, int socket);
  ~SSLTransport() override;

  int Read(void* buffer, int length) override;
  int Peek(void* buffer, int length) override;
  int Write(const void* buffer, int length) override;
  NetTransport* Reconnect(uint16_t port) override;
  bool BytesAvailable() override;

 private:
  ssl_st* ssl_ = nullptr;
};
