// The online packet channel on loopback UDP: 10,000 messages of 1 KB from
// one endpoint to another, with no loss and with 5% of the datagrams lost
// in each direction (enciphered on the way out).
//
// The endpoints run as the client runs them: an update pass every 10 ms of
// program time, each reading what waits on its socket. The program clock
// is driven by the passes (10 ms each), so the channel's own timers (the
// 1-second delayed acknowledgement, retransmission after 2 s) decide the
// rate in program time, while the wall-clock rate shows what the code
// costs. Prints, per case: wall-clock seconds and messages per second,
// program-time seconds and messages per second, retransmissions and
// datagrams lost.
//
//   bench_online_channel [MESSAGES]
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "OnlineTestSupport.h"

using namespace OnlineTest;

namespace {

void Run(const char* name, double loss, uint32_t messages) {
  FrozenClock clock(0.0);
  EndpointPair pair(11);
  pair.socketA.SetOdds({loss, 0.0, 0.0});
  pair.socketB.SetOdds({loss, 0.0, 0.0});
  pair.a.SetChannelKey("ABCDEFGH");
  const Bytes payload(1024, 0x42);
  uint32_t queued = 0;
  double programSeconds = 0;
  const auto start = std::chrono::steady_clock::now();
  while (pair.b.received.size() < messages && pair.a.IsConnected()) {
    while (queued < messages && pair.a.QueuedCount() < 500) {
      pair.Send(payload);
      ++queued;
    }
    pair.Pump();
    pair.b.received.clear();  // counted below; keep memory flat
    programSeconds += 0.01;
    clock.Advance(0.01);
    if (pair.b.Stats().packetsDelivered >= messages) break;
  }
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const auto delivered = static_cast<double>(pair.b.Stats().packetsDelivered);
  std::printf("%-10s delivered %6.0f  wall %7.3f s %10.0f msg/s  program %8.1f s %8.1f msg/s  "
              "retransmissions %llu  lost %llu\n",
              name, delivered, wall, delivered / wall, programSeconds, delivered / programSeconds,
              static_cast<unsigned long long>(pair.a.Stats().retransmissions),
              static_cast<unsigned long long>(pair.socketA.Lost() + pair.socketB.Lost()));
}

}  // namespace

int main(int argc, char** argv) {
  const uint32_t messages = argc > 1 ? static_cast<uint32_t>(std::atoi(argv[1])) : 10000;
  Run("no loss", 0.0, messages);
  Run("5% loss", 0.05, messages);
  return 0;
}
