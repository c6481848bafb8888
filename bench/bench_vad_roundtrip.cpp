// One small request's round trip through the daemon client (VADClient::
// Transact against the scripted fake daemon: 16-byte payload, 16-byte
// reply) beside a minimal TCP ping-pong of the same frame sizes over
// loopback (28 bytes each way, one send and one receive per side). Each
// reports the median and the 99th percentile of single round trips
// (p50_us, p99_us).
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "assetdb/client/NetStartup.h"
#include "assetdb/client/VADClient.h"
#include "assetdb/protocol/VADRequestCodes.h"
#include "foundation/stream/TBuffer.h"
#include "foundation/stream/TStreamTyped.h"
// The fake daemon is header-only test support.
#include "tests/support/FakeDaemon.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint32_t kBodySize = 16;
constexpr size_t kFrameSize = 12 + kBodySize;

void Report(benchmark::State& state, std::vector<double>& micros) {
  if (micros.empty()) return;
  std::sort(micros.begin(), micros.end());
  state.counters["p50_us"] = micros[micros.size() / 2];
  state.counters["p99_us"] = micros[std::min(micros.size() - 1, micros.size() * 99 / 100)];
}

uint16_t benchPort = 0;
uint16_t BenchPort(const Kiv::File::Path&) {
  return benchPort;
}

void BM_VADClientTransact(benchmark::State& state) {
  NetStartup();
  FakeDaemon daemon;
  daemon.ExpectHandshake().Serve(FakeDaemon::Bytes(kBodySize, 0x5A));
  daemon.Start();
  benchPort = daemon.Port();
  VADClient::SetPortSource(&BenchPort);
  VADClientOptions options;
  options.restartDaemon = false;
  if (!VADOpenDatabase(options)) {
    state.SkipWithError("the client did not open");
    return;
  }
  TBuffer request;
  for (uint32_t i = 0; i < kBodySize / 4; ++i) TStreamWriteU32(request, i);
  TBuffer reply;
  std::vector<double> micros;
  micros.reserve(1 << 16);
  for (auto _ : state) {
    TStreamRewind(request);
    reply.Reset();
    auto start = Clock::now();
    bool ok =
        VADClient::Transact(VADRequestCode::kGetAssetInfo, request, reply, nullptr, nullptr, false);
    micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    if (!ok) {
      state.SkipWithError("request failed");
      break;
    }
  }
  VADClient::Close();
  VADClient::SetPortSource(nullptr);
  Report(state, micros);
}

bool SendAll(int fd, const uint8_t* data, size_t n) {
  while (n != 0) {
    ssize_t w = send(fd, data, n, MSG_NOSIGNAL);
    if (w <= 0) return false;
    data += w;
    n -= size_t(w);
  }
  return true;
}

bool ReceiveAll(int fd, uint8_t* data, size_t n) {
  while (n != 0) {
    ssize_t r = recv(fd, data, n, 0);
    if (r <= 0) return false;
    data += r;
    n -= size_t(r);
  }
  return true;
}

void BM_TcpPingPong(benchmark::State& state) {
  int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  bind(listener, reinterpret_cast<sockaddr*>(&address), size);
  listen(listener, 1);
  getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
  std::thread server([listener] {
    int fd = accept(listener, nullptr, nullptr);
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    uint8_t frame[kFrameSize];
    while (ReceiveAll(fd, frame, kFrameSize) && SendAll(fd, frame, kFrameSize)) {
    }
    close(fd);
  });
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  connect(fd, reinterpret_cast<sockaddr*>(&address), size);
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  uint8_t frame[kFrameSize] = {};
  std::vector<double> micros;
  micros.reserve(1 << 16);
  for (auto _ : state) {
    auto start = Clock::now();
    bool ok = SendAll(fd, frame, kFrameSize) && ReceiveAll(fd, frame, kFrameSize);
    micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    if (!ok) {
      state.SkipWithError("ping-pong failed");
      break;
    }
  }
  close(fd);
  server.join();
  close(listener);
  Report(state, micros);
}

}  // namespace

BENCHMARK(BM_VADClientTransact)->Unit(benchmark::kMicrosecond)->MinTime(2.0);
BENCHMARK(BM_TcpPingPong)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

BENCHMARK_MAIN();
