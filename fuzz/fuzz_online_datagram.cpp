// Fuzzes the online client's datagram reader and packet handling: the input
// is a run of records {u8 kind, u16 length, bytes}. Kind bit 0 clear: the
// bytes are a datagram for the client's channel (fragment mode, as the
// client runs it); set: they are a whole packet for its protocol handler.
// The client has an open group with the cookie "c" and a registered client,
// so group and message packets reach them. Checks the channel's bounds
// after every record.
#include <cstdint>
#include <cstdlib>

#include "foundation/stream/TStreamTyped.h"
#include "gsnative/online/OnlineAccessClientEndpoint.h"
#include "gsnative/online/OnlineGroupState.h"
#include "kiv/Log.h"

namespace {

class NoAccount : public OnlineAccountSource {
 public:
  std::string GetOnlineUsername() override { return "fuzz"; }
  std::string GetCredential() override { return "fuzz"; }
  void ReportLoginRefused() override {}
  void StartWebLogin() override {}
  bool WebLoginDone(uint32_t&) override { return false; }
  void CloseWebLogin() override {}
};

class Client : public OnlineAccessClientEndpoint {
 public:
  using OnlineAccessClientEndpoint::HandlePacket;
  using OnlineAccessClientEndpoint::OnlineAccessClientEndpoint;
};

class Inbox : public OnlineAccessClientBase {
 public:
  void ReceiveMessage(std::unique_ptr<OnlineMessage>) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool quiet = [] {
    Kiv::Log::SetSink([](std::string_view) {});
    return true;
  }();
  (void)quiet;
  NoAccount account;
  TMEPeer peer;  // registered with no socket: sends fail quietly
  Client client(account, "localhost", 9);
  client.SetFragmentMode(TMEEndpoint::kModeFragment);
  client.Reset(&peer);
  client.SetChannelKey((data[0 % (size | 1)] & 1) ? "ABCDEFGH" : "");
  Inbox inbox;
  inbox.kuid = KUID{1, 2, 0};
  client.AddClient(&inbox);
  OnlineGroupState group(client, &inbox, Kiv::PString("c"), 0, nullptr);
  size_t at = 0;
  while (at + 3 <= size) {
    const uint8_t kind = data[at];
    uint32_t length = data[at + 1] | (uint32_t{data[at + 2]} << 8);
    at += 3;
    if (length > size - at) length = static_cast<uint32_t>(size - at);
    if (kind & 1) {
      TMEPacket packet;
      packet.Write(data + at, length);
      TStreamRewind(packet);
      client.HandlePacket(packet);
    } else {
      client.Receive(data + at, length);
    }
    at += length;
    if (client.FragmentSetCount() > 128 || client.ReorderCount() > TMEEndpoint::kReorderLimit ||
        client.StoredMessages().size() > OnlineAccessClientEndpoint::kMaxStoredMessages ||
        group.Members().size() > OnlineGroupState::kMaxMembers) {
      std::abort();
    }
  }
  client.RemoveClient(&inbox);
  return 0;
}
