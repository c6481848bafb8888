// Exact-length transfers over a transport.
//
// NetSendExact and NetReceiveExact move exactly `n` bytes over `transport`
// (the daemon connection's), through its Write and Read, at most
// kNetMaxChunk bytes per call. n = 0 is true at once. Before each call the
// transport must be kReady with a socket, else false. A Read that answers 0
// or less, or a Write that answers 0 or less, fails the transfer: the
// transport's state becomes kFailed when it was kReady, and false is
// answered. A null transport, or a null buffer with n > 0, gives false.
// They block as the transport does (Close wakes them); not locked.
#pragma once

#include <cstdint>

class NetTransport;

constexpr uint32_t kNetMaxChunk = 32768;

bool NetSendExact(NetTransport* transport, const void* buffer, uint32_t n);
bool NetReceiveExact(NetTransport* transport, void* buffer, uint32_t n);
