#include "assetdb/client/NetExact.h"

#include <algorithm>

#include "assetdb/client/NetTransport.h"

namespace {

bool TransportUsable(const NetTransport& transport) {
  return transport.GetState() == NetTransport::kReady && transport.GetSocket() != -1;
}

}  // namespace

bool NetSendExact(NetTransport* transport, const void* buffer, uint32_t n) {
  if (n == 0) return true;
  if (transport == nullptr || buffer == nullptr) return false;
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  uint32_t remaining = n;
  while (remaining > 0) {
    if (!TransportUsable(*transport)) return false;
    const uint32_t chunk = std::min(remaining, kNetMaxChunk);
    // A send that moves nothing would loop forever; it fails like an error.
    const int sent = transport->Write(bytes, static_cast<int>(chunk));
    if (sent <= 0 || static_cast<uint32_t>(sent) > chunk) {
      transport->MarkFailed();
      return false;
    }
    bytes += sent;
    remaining -= static_cast<uint32_t>(sent);
  }
  return true;
}

bool NetReceiveExact(NetTransport* transport, void* buffer, uint32_t n) {
  if (n == 0) return true;
  if (transport == nullptr || buffer == nullptr) return false;
  auto* bytes = static_cast<unsigned char*>(buffer);
  uint32_t remaining = n;
  while (remaining > 0) {
    if (!TransportUsable(*transport)) return false;
    const uint32_t chunk = std::min(remaining, kNetMaxChunk);
    const int received = transport->Read(bytes, static_cast<int>(chunk));
    if (received <= 0 || static_cast<uint32_t>(received) > chunk) {
      transport->MarkFailed();
      return false;
    }
    bytes += received;
    remaining -= static_cast<uint32_t>(received);
  }
  return true;
}
