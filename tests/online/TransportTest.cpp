// The packet channel over loopback UDP: reliable ordered delivery through
// loss, duplication and reordering, fragmentation, the cipher, the bounds on
// queues and on what a hostile datagram can make the endpoint hold, and the
// timers (with a frozen clock).
#include <gtest/gtest.h>

#include <string>

#include "OnlineTestSupport.h"
#include "gsnative/online/ChannelCipher.h"

using namespace OnlineTest;

namespace {

Bytes NumberedPayload(uint32_t index) {
  const uint32_t size = index % 50 == 0 ? 5000 : 4 + index % 300;
  Bytes payload(size, static_cast<uint8_t>(index * 7));
  for (int i = 0; i < 4; ++i) payload[i] = static_cast<uint8_t>(index >> (8 * i));
  return payload;
}

// Records every datagram instead of sending it.
class RecordingSocket : public TMESocket {
 public:
  int SendDatagram(const sockaddr_in&, const uint8_t* bytes, uint32_t length) override {
    sent.emplace_back(bytes, bytes + length);
    return static_cast<int>(length);
  }
  std::vector<Bytes> sent;
};

}  // namespace

TEST(PacketChannel, DeliversThousandPacketsInOrderOnceThroughLossDuplicationAndReordering) {
  FrozenClock clock;
  EndpointPair pair(7);
  const FaultySocket::Odds odds{0.05, 0.05, 0.10};
  pair.socketA.SetOdds(odds);
  pair.socketB.SetOdds(odds);
  constexpr uint32_t kPackets = 1000;
  uint32_t queued = 0;
  for (int round = 0; round < 20000 && pair.b.received.size() < kPackets; ++round) {
    while (queued < kPackets && pair.a.QueuedCount() < 100) ASSERT_TRUE(pair.Send(NumberedPayload(queued++)));
    pair.Pump();
    clock.Advance(0.1);
  }
  ASSERT_EQ(pair.b.received.size(), kPackets);
  for (uint32_t i = 0; i < kPackets; ++i) ASSERT_EQ(pair.b.received[i], NumberedPayload(i)) << i;
  EXPECT_GT(pair.a.Stats().retransmissions, 0u);
  EXPECT_GT(pair.b.Stats().duplicates, 0u);
  EXPECT_EQ(pair.a.disconnects + pair.b.disconnects, 0);
}

TEST(PacketChannel, FragmentSizesAreBalancedWithTheLargerPiecesLast) {
  const struct {
    uint32_t size;
    std::vector<uint32_t> pieces;
  } cases[] = {
      {5000, {1250, 1250, 1250, 1250}}, {3000, {1000, 1000, 1000}}, {2939, {979, 980, 980}},
      {1469, {1469}},                    {0, {0}},                   {186563, std::vector<uint32_t>(127, 1469)},
      {186564, {}},
  };
  for (const auto& c : cases) EXPECT_EQ(TMEEndpoint::FragmentSizes(c.size), c.pieces) << c.size;
}

TEST(PacketChannel, LargePayloadGoesOutAsNumberedFragments) {
  FrozenClock clock;
  RecordingSocket socket;
  TMEPeer peer;
  socket.AddPeerAddress(Loopback(9), &peer);
  CollectingEndpoint endpoint;
  endpoint.SetFragmentMode(TMEEndpoint::kModeFragment);
  endpoint.Reset(&peer);
  auto* packet = new TMEPacket();
  const Bytes payload(5000, 0x5A);
  packet->Write(payload.data(), 5000);
  ASSERT_TRUE(endpoint.SendPacket(packet));
  endpoint.Update();
  ASSERT_EQ(socket.sent.size(), 4u);
  const uint8_t headers[] = {0, 1, 2, 0x83};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(socket.sent[i].size(), 1253u);
    EXPECT_EQ(socket.sent[i][0], 1);
    EXPECT_EQ(socket.sent[i][2], headers[i]);
  }
}

TEST(PacketChannel, CipherVectorHoldsInBothDirections) {
  const std::string token = "\x01\x02\x03\x04\x05\x06\x07\x08";
  const std::string key = "ABCDEFGH";
  const Bytes plain = {0x02, 0x05, 0x00, 0x00, 0x00, 0x68, 0x65, 0x6c, 0x6c, 0x6f};
  const struct {
    std::string material;
    Bytes cipher;
    uint32_t stateAfter;
  } cases[] = {
      {token + key, {0x03, 0x01, 0x05, 0x89, 0xd6, 0x98, 0x61, 0x83, 0xe8, 0xf3}, 1215},
      {key + token, {0x43, 0x63, 0xb0, 0x59, 0xc1, 0x78, 0x0d, 0x49, 0x32, 0xfd}, 1133},
  };
  for (const auto& c : cases) {
    Bytes bytes = plain;
    uint32_t state = 0;
    ChannelCipher::Encipher(c.material, state, bytes.data(), 10);
    EXPECT_EQ(bytes, c.cipher);
    EXPECT_EQ(state, c.stateAfter);
    uint32_t back = 0;
    ChannelCipher::Decipher(c.material, back, bytes.data(), 10);
    EXPECT_EQ(bytes, plain);
    EXPECT_EQ(back, state);
  }
}

TEST(PacketChannel, RefusedPacketLeavesTheCipherStreamInStep) {
  FrozenClock clock;
  EndpointPair pair;
  ASSERT_TRUE(pair.a.SetChannelKey("ABCDEFGH"));
  EXPECT_FALSE(pair.b.SetChannelKey("short"));  // b stays plain: it sees cipher text
  EXPECT_FALSE(pair.b.HasChannelKey());
  for (int i = 0; i < 1001; ++i) ASSERT_TRUE(pair.Send(Bytes{1, 2, 3}));
  EXPECT_FALSE(pair.Send(Bytes{9}));  // 1001 waiting: refused
  EXPECT_EQ(pair.a.Stats().refusedSends, 1u);
  for (int round = 0; round < 1000 && pair.a.QueuedCount() != 0; ++round) {
    pair.Pump();
    clock.Advance(0.5);
  }
  ASSERT_TRUE(pair.Send(Bytes{7, 7}));
  for (int round = 0; round < 1000 && pair.b.received.size() < 1002; ++round) {
    pair.Pump();
    clock.Advance(0.5);
  }
  ASSERT_EQ(pair.b.received.size(), 1002u);
  // The expected stream: 1001 times {1, 2, 3}, then {7, 7}, nothing between.
  const std::string material = pair.a.GetClientToken() + "ABCDEFGH";
  uint32_t state = 0;
  for (int i = 0; i < 1001; ++i) {
    Bytes bytes = {1, 2, 3};
    ChannelCipher::Encipher(material, state, bytes.data(), 3);
    ASSERT_EQ(pair.b.received[i], bytes) << i;
  }
  Bytes last = {7, 7};
  ChannelCipher::Encipher(material, state, last.data(), 2);
  EXPECT_EQ(pair.b.received.back(), last);
}

TEST(PacketChannel, HostileDatagramsAreDroppedAndCounted) {
  const Bytes tooLong(3 + 1470, 0);
  const struct {
    const char* name;
    std::vector<Bytes> datagrams;
    size_t delivered;
    uint64_t malformed;
  } cases[] = {
      {"empty", {Bytes{}}, 0, 0},
      {"short fragment", {Bytes{5}, Bytes{5, 0}}, 0, 2},
      {"fragment number 127", {Bytes{1, 0, 0x7F, 1}}, 0, 1},
      {"fragment over 1469 bytes", {[&] { Bytes d = tooLong; d[0] = 1; d[2] = 0x80; return d; }()}, 0, 1},
      {"number past the count", {Bytes{1, 0, 0x81, 1}, Bytes{1, 0, 0x05, 1}}, 0, 1},
      {"second last fragment disagrees", {Bytes{1, 0, 0x81, 1}, Bytes{1, 0, 0x83, 1}}, 0, 1},
      {"unsequenced with two bytes", {Bytes{0, 0, 1, 2}}, 0, 1},
      {"ack of numbers never sent", {Bytes{0, 0}, Bytes{0, 77}}, 0, 0},
      {"empty sequenced payload", {Bytes{1, 0, 0x80}}, 1, 0},
      {"two fragments any order", {Bytes{1, 0, 0x81, 2}, Bytes{1, 0, 0x00, 1}}, 1, 0},
  };
  for (const auto& c : cases) {
    FrozenClock clock;
    EndpointPair pair;
    for (const Bytes& datagram : c.datagrams) pair.b.Receive(datagram.data(), static_cast<uint32_t>(datagram.size()));
    EXPECT_EQ(pair.b.received.size(), c.delivered) << c.name;
    EXPECT_EQ(pair.b.Stats().malformed, c.malformed) << c.name;
    EXPECT_EQ(pair.b.disconnects, 0) << c.name;
  }
}

TEST(PacketChannel, FragmentSetsStayBoundedInNumberAndBytes) {
  FrozenClock clock;
  EndpointPair pair;
  Bytes piece(3 + 1469, 0xAB);
  for (int seq = 1; seq <= 255; ++seq) {
    for (int number = 0; number < 127; ++number) {
      piece[0] = static_cast<uint8_t>(seq);
      piece[2] = static_cast<uint8_t>(number);
      pair.b.Receive(piece.data(), static_cast<uint32_t>(piece.size()));
    }
  }
  EXPECT_LE(pair.b.FragmentSetCount(), 128u);
  EXPECT_GT(pair.b.Stats().fragmentSetsDropped, 0u);
  EXPECT_TRUE(pair.b.received.empty());
  // An acknowledgement of a number never sent leaves the in-flight list.
  ASSERT_TRUE(pair.Send(Bytes{1}));
  pair.a.Update();
  const Bytes forged = {0, 50};
  pair.a.Receive(forged.data(), 2);
  EXPECT_EQ(pair.a.InFlightCount(), 1u);
  EXPECT_EQ(pair.a.Stats().malformed, 1u);
}

TEST(PacketChannel, TimersRetransmitGiveUpAndCloseOnSilence) {
  FrozenClock clock(0.0);
  EndpointPair pair;
  pair.socketA.DropNext(1000);
  ASSERT_TRUE(pair.Send(Bytes{1}));
  std::vector<double> retransmitted;
  double closedAt = -1;
  for (double t = 0; t <= 200 && closedAt < 0; t += 0.25) {
    const uint64_t before = pair.a.Stats().retransmissions;
    pair.a.Update();
    if (pair.a.Stats().retransmissions != before) retransmitted.push_back(t);
    if (pair.a.disconnects != 0) closedAt = t;
    clock.Advance(0.25);
  }
  EXPECT_EQ(retransmitted, (std::vector<double>{2.25, 6.5, 22.75, 55.0}));
  EXPECT_DOUBLE_EQ(closedAt, 119.25);

  // 300 seconds without hearing anything (the far side is mute) close.
  EndpointPair quiet;
  double silentUntil = 0;
  for (; silentUntil < 400 && quiet.a.disconnects == 0; silentUntil += 1) {
    quiet.a.Update();
    clock.Advance(1);
  }
  EXPECT_GT(silentUntil, 300);
  EXPECT_LT(silentUntil, 303);
}

TEST(PacketChannel, DuplicateIsDeliveredOnceAndAcknowledgedAgain) {
  FrozenClock clock;
  EndpointPair pair;
  pair.socketA.DuplicateNext(1);
  ASSERT_TRUE(pair.Send(Bytes{4, 2}));
  pair.Pump();
  EXPECT_EQ(pair.b.received.size(), 1u);
  EXPECT_EQ(pair.b.Stats().duplicates, 1u);
  const uint64_t sentBefore = pair.socketB.Stats().datagramsSent;
  clock.Advance(1.5);
  pair.Pump();
  EXPECT_EQ(pair.socketB.Stats().datagramsSent, sentBefore + 1);
  EXPECT_EQ(pair.a.InFlightCount(), 0u);
}

// A port the system picks is never shared: with address reuse a client's
// socket could be given the port of a service bound to loopback on this
// machine, and would then send every datagram to itself.
TEST(PacketChannel, PickedPortsAreNeverShared) {
  TMESocket service;
  ASSERT_TRUE(service.Bind(INADDR_LOOPBACK, 0));
  TMESocket other;
  EXPECT_FALSE(other.Bind(INADDR_ANY, service.LocalPort()));
  TMESocket client;
  client.Open();
  ASSERT_TRUE(client.IsOpen());
  int reuse = -1;
  socklen_t size = sizeof reuse;
  ASSERT_EQ(::getsockopt(client.Handle(), SOL_SOCKET, SO_REUSEADDR, &reuse, &size), 0);
  EXPECT_EQ(reuse, 0);
}
