// Transports, name resolution and network start-up, against servers on the
// loopback interface that each test starts and stops itself.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "assetdb/client/HostResolver.h"
#include "assetdb/client/NetExact.h"
#include "assetdb/client/NetStartup.h"
#include "assetdb/client/SSLTransport.h"
#include "assetdb/client/TCPTransport.h"
#include "kiv/Time.h"
#include "tests/support/WaitUntil.h"

namespace {

using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A TCP listener on 127.0.0.1 with an ephemeral port. Each accepted client is
// handed to `handler` on the server's thread and closed after it. The
// destructor stops the server (it never waits on a handler for more than
// the handler's own bound).
class LoopbackServer {
 public:
  using Handler = std::function<void(int client)>;

  explicit LoopbackServer(Handler handler) : handler_(std::move(handler)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof(address);
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::listen(listener_, 4) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
      ADD_FAILURE() << "loopback listener failed";
      return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Run(); });
  }
  ~LoopbackServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    ::close(listener_);
  }
  uint16_t Port() const { return port_; }
  int Accepted() const { return accepted_; }

 private:
  void Run() {
    const auto start = Clock::now();
    while (!stop_ && MsSince(start) < 20000) {
      pollfd entry{listener_, POLLIN, 0};
      if (::poll(&entry, 1, 20) <= 0) continue;
      const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      ++accepted_;
      handler_(client);
      ::close(client);
    }
  }

  Handler handler_;
  int listener_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> accepted_{0};
  std::thread thread_;
};

std::vector<unsigned char> Pattern(size_t size) {
  std::vector<unsigned char> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>((i * 7 + i / 251) & 0xFF);
  return bytes;
}

void SendAll(int socket, const unsigned char* bytes, size_t size) {
  while (size > 0) {
    const ssize_t sent = ::send(socket, bytes, size, MSG_NOSIGNAL);
    if (sent <= 0) return;
    bytes += sent;
    size -= static_cast<size_t>(sent);
  }
}

size_t ReceiveAll(int socket, unsigned char* bytes, size_t size) {
  size_t got = 0;
  while (got < size) {
    pollfd entry{socket, POLLIN, 0};
    if (::poll(&entry, 1, 5000) <= 0) break;
    const ssize_t received = ::recv(socket, bytes + got, size - got, 0);
    if (received <= 0) break;
    got += static_cast<size_t>(received);
  }
  return got;
}

// Every transfer on a transport that is not ready fails, without changing
// its state.
void ExpectEveryTransferFails(NetTransport& transport) {
  const int32_t state = transport.GetState();
  unsigned char byte = 0;
  EXPECT_LT(transport.Read(&byte, 1), 0);
  EXPECT_LT(transport.Peek(&byte, 1), 0);
  EXPECT_LT(transport.Write(&byte, 1), 0);
  EXPECT_FALSE(NetSendExact(&transport, &byte, 1));
  EXPECT_FALSE(NetReceiveExact(&transport, &byte, 1));
  EXPECT_EQ(transport.GetState(), state);
}

// Counts the reads NetReceiveExact makes, and the largest one asked for.
class CountingTransport : public TCPTransport {
 public:
  using TCPTransport::TCPTransport;
  int Read(void* buffer, int length) override {
    ++reads;
    largest = std::max(largest, length);
    return TCPTransport::Read(buffer, length);
  }
  int reads = 0;
  int largest = 0;
};

// Stops networking for a scope and starts it again afterwards when it was
// running (other tests of the program may rely on it).
class NetworkingStopped {
 public:
  NetworkingStopped() : wasStarted_(IsNetStarted()) { NetShutdown(); }
  ~NetworkingStopped() {
    if (wasStarted_) NetStartup();
  }
  NetworkingStopped(const NetworkingStopped&) = delete;
  NetworkingStopped& operator=(const NetworkingStopped&) = delete;

 private:
  bool wasStarted_;
};

// Networking is started for each test and shut down after it; the resolver
// thread must be gone then.
class NetTest : public ::testing::Test {
 protected:
  void SetUp() override { NetStartup(); }
  void TearDown() override {
    NetShutdown();
    EXPECT_FALSE(HostResolver::HasThread());
    EXPECT_EQ(HostResolver::UserCount(), 0u);
  }

 private:
  NetworkingStopped stopped_;
};

}  // namespace

TEST(TResolve, LocalhostInAnyCaseIsLoopbackWithoutLookup) {
  for (const char* host : {"localhost", "LOCALHOST", "LoCaLhOsT"}) {
    sockaddr_in address;
    std::memset(&address, 0xAB, sizeof(address));
    ASSERT_TRUE(ResolveHostName(&address, host, 4242)) << host;
    EXPECT_EQ(address.sin_family, AF_INET);
    EXPECT_EQ(ntohs(address.sin_port), 4242);
    EXPECT_EQ(ntohl(address.sin_addr.s_addr), INADDR_LOOPBACK);
    const unsigned char zero[8] = {};
    EXPECT_EQ(std::memcmp(address.sin_zero, zero, sizeof(zero)), 0);
  }
}

TEST(TResolve, BadHostsFailCleanly) {
  sockaddr_in address{};
  EXPECT_FALSE(ResolveHostName(&address, nullptr, 1));
  EXPECT_FALSE(ResolveHostName(nullptr, "localhost", 1));
  EXPECT_FALSE(ResolveHostName(&address, "", 1));
  // IPv4 only: an IPv6 literal has no IPv4 address.
  EXPECT_FALSE(ResolveHostName(&address, "::1", 1));
  EXPECT_TRUE(ResolveHostName(&address, "127.0.0.1", 1));
  EXPECT_EQ(ntohl(address.sin_addr.s_addr), INADDR_LOOPBACK);
}

TEST(TResolve, WithoutNetworkingEveryResolutionWaitsItsBoundAndFails) {
  NetworkingStopped stopped;
  sockaddr_in address{};
  const auto start = Clock::now();
  EXPECT_FALSE(HostResolver::Start("localhost", 80, &address));
  const int64_t elapsed = MsSince(start);
  EXPECT_GE(elapsed, int64_t{HostResolver::kWaitMs} - 50);
  EXPECT_LT(elapsed, int64_t{HostResolver::kWaitMs} + 2000);
  EXPECT_FALSE(HostResolver::HasThread());
  EXPECT_EQ(HostResolver::QueueLength(), 0u);
}

TEST(TNetStartup, SecondStartupAndShutdownChangeNothing) {
  NetworkingStopped stopped;
  EXPECT_TRUE(NetStartup());
  EXPECT_TRUE(NetStartup());
  EXPECT_EQ(HostResolver::UserCount(), 1u);
  EXPECT_NE(NetSSLClientContext(), nullptr);
  NetShutdown();
  NetShutdown();
  EXPECT_EQ(HostResolver::UserCount(), 0u);
  EXPECT_EQ(NetSSLClientContext(), nullptr);
  EXPECT_FALSE(IsNetStarted());
}

TEST_F(NetTest, ResolverThreadEndsWhenItsQueueIsEmptyAndIsReplaced) {
  sockaddr_in address{};
  for (int round = 0; round < 3; ++round) {
    ASSERT_TRUE(HostResolver::Start("LocalHost", 7, &address));
    EXPECT_EQ(ntohl(address.sin_addr.s_addr), INADDR_LOOPBACK);
    EXPECT_EQ(ntohs(address.sin_port), 7);
    EXPECT_TRUE(VUTest::WaitUntil([] { return HostResolver::ThreadFinished(); }, 2000, 1));
    EXPECT_EQ(HostResolver::QueueLength(), 0u);
  }
}

TEST_F(NetTest, DottedAddressIsAnsweredWithoutTheResolverThread) {
  struct Case {
    const char* host;
    uint32_t address;
  };
  for (const Case& c : {Case{"127.0.0.1", INADDR_LOOPBACK}, Case{"10.1.2.3", 0x0A010203u}}) {
    sockaddr_in address;
    std::memset(&address, 0xAB, sizeof(address));
    ASSERT_TRUE(HostResolver::Start(c.host, 4242, &address)) << c.host;
    EXPECT_EQ(address.sin_family, AF_INET);
    EXPECT_EQ(ntohs(address.sin_port), 4242);
    EXPECT_EQ(ntohl(address.sin_addr.s_addr), c.address) << c.host;
    const unsigned char zero[8] = {};
    EXPECT_EQ(std::memcmp(address.sin_zero, zero, sizeof(zero)), 0);
    EXPECT_FALSE(HostResolver::HasThread()) << c.host;
  }
}

TEST_F(NetTest, ConcurrentResolutionsAllGetTheirOwnAnswer) {
  std::atomic<int> good{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&good, t] {
      for (int i = 0; i < 25; ++i) {
        sockaddr_in address{};
        const uint16_t port = static_cast<uint16_t>(1000 + t * 100 + i);
        const char* host = (i % 2 == 0) ? "localhost" : "127.0.0.1";
        if (HostResolver::Start(host, port, &address) && ntohs(address.sin_port) == port &&
            ntohl(address.sin_addr.s_addr) == INADDR_LOOPBACK) {
          ++good;
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(good.load(), 200);
}

TEST_F(NetTest, ShutdownWhileCallersResolveEndsTheThreadAndTheirWaits) {
  std::vector<std::thread> callers;
  std::atomic<bool> stop{false};
  std::atomic<int> finished{0};
  std::atomic<int> calls{0};
  for (int t = 0; t < 4; ++t) {
    callers.emplace_back([&] {
      while (!stop.load()) {
        sockaddr_in address{};
        HostResolver::Start("localhost", 1, &address);
        ++calls;
      }
      ++finished;
    });
  }
  EXPECT_TRUE(VUTest::WaitUntil([&] { return calls.load() >= 8; }, 5000, 1));
  NetShutdown();
  EXPECT_FALSE(HostResolver::HasThread());
  stop = true;
  const auto start = Clock::now();
  for (auto& caller : callers) caller.join();
  EXPECT_EQ(finished.load(), 4);
  // A call made after shut-down waits its bound once and fails; none waits
  // longer.
  EXPECT_LT(MsSince(start), 2 * int64_t{HostResolver::kWaitMs});
  EXPECT_FALSE(HostResolver::HasThread());
}

TEST_F(NetTest, TCPTransportMovesPeeksAndReportsBytes) {
  LoopbackServer server([](int client) {
    unsigned char buffer[5];
    if (ReceiveAll(client, buffer, 5) == 5) SendAll(client, buffer, 5);
    ReceiveAll(client, buffer, 1);  // Until the client closes.
  });
  TCPTransport transport("localhost", server.Port());
  ASSERT_EQ(transport.GetState(), NetTransport::kReady);
  ASSERT_NE(transport.GetSocket(), -1);
  EXPECT_STREQ(transport.GetHost(), "localhost");
  EXPECT_EQ(transport.GetPort(), server.Port());
  EXPECT_EQ(transport.Write("hello", 5), 5);
  ASSERT_TRUE(VUTest::WaitUntil([&] { return transport.BytesAvailable(); }, 5000, 1));
  char buffer[8] = {};
  ASSERT_EQ(transport.Peek(buffer, 5), 5);
  EXPECT_EQ(std::string(buffer, 5), "hello");
  std::memset(buffer, 0, sizeof(buffer));
  ASSERT_TRUE(NetReceiveExact(&transport, buffer, 5));
  EXPECT_EQ(std::string(buffer, 5), "hello");
  EXPECT_FALSE(transport.BytesAvailable());
  transport.Close();
  EXPECT_EQ(transport.GetState(), NetTransport::kClosed);
  EXPECT_EQ(transport.GetSocket(), -1);
  ExpectEveryTransferFails(transport);
}

TEST_F(NetTest, HostLengthIsBoundedByTheHostBuffer) {
  for (const int length :
       {TCPTransport::kMaxHostLength, TCPTransport::kMaxHostLength + 1, 100000}) {
    const std::string host(size_t(length), 'a');
    TCPTransport transport(host.c_str(), 1);
    EXPECT_EQ(int(std::strlen(transport.GetHost())),
              length <= TCPTransport::kMaxHostLength ? length : 0);
    EXPECT_EQ(transport.GetState(), NetTransport::kNotConnected);
  }
  TCPTransport none(nullptr, 1);
  EXPECT_EQ(none.GetState(), NetTransport::kNotConnected);
  EXPECT_EQ(TCPConnect(nullptr, 1), -1);
}

TEST_F(NetTest, FailedConnectionRefusesEveryTransfer) {
  uint16_t closedPort = 0;
  {
    closedPort = LoopbackServer([](int) {}).Port();
  }
  TCPTransport transport("127.0.0.1", closedPort);
  EXPECT_EQ(transport.GetState(), NetTransport::kNotConnected);
  EXPECT_EQ(transport.GetSocket(), -1);
  EXPECT_FALSE(transport.BytesAvailable());
  ExpectEveryTransferFails(transport);
  unsigned char byte = 0;
  EXPECT_TRUE(NetReceiveExact(&transport, &byte, 0));
}

TEST_F(NetTest, ReceiveExactSplitsIntoChunksOfAtMost32768) {
  const auto data = Pattern(100000);
  LoopbackServer server([&data](int client) {
    SendAll(client, data.data(), data.size());
    unsigned char byte;
    ReceiveAll(client, &byte, 1);
  });
  CountingTransport transport("127.0.0.1", server.Port());
  ASSERT_EQ(transport.GetState(), NetTransport::kReady);
  std::vector<unsigned char> got(data.size());
  ASSERT_TRUE(NetReceiveExact(&transport, got.data(), static_cast<uint32_t>(got.size())));
  EXPECT_EQ(got, data);
  EXPECT_GE(transport.reads, 4);
  EXPECT_LE(transport.largest, static_cast<int>(kNetMaxChunk));
  EXPECT_EQ(transport.GetState(), NetTransport::kReady);
}

TEST_F(NetTest, SendExactDeliversEveryByte) {
  const auto data = Pattern(300000);
  std::vector<unsigned char> received(data.size());
  std::atomic<size_t> got{0};
  {
    LoopbackServer server(
        [&](int client) { got = ReceiveAll(client, received.data(), received.size()); });
    TCPTransport transport("localhost", server.Port());
    ASSERT_TRUE(NetSendExact(&transport, data.data(), static_cast<uint32_t>(data.size())));
    VUTest::WaitUntil([&] { return got.load() != 0; }, 5000, 1);
  }
  EXPECT_EQ(got.load(), data.size());
  EXPECT_EQ(received, data);
}

TEST_F(NetTest, PeerClosingMidTransferFailsItAndEveryLaterOne) {
  const auto data = Pattern(50000);
  LoopbackServer server([&data](int client) { SendAll(client, data.data(), data.size()); });
  TCPTransport transport("127.0.0.1", server.Port());
  ASSERT_EQ(transport.GetState(), NetTransport::kReady);
  std::vector<unsigned char> got(100000);
  EXPECT_FALSE(NetReceiveExact(&transport, got.data(), static_cast<uint32_t>(got.size())));
  EXPECT_EQ(transport.GetState(), NetTransport::kFailed);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), got.begin()));
  EXPECT_FALSE(NetReceiveExact(&transport, got.data(), 1));
  EXPECT_FALSE(NetSendExact(&transport, got.data(), 1));
  EXPECT_EQ(transport.GetState(), NetTransport::kFailed);
}

TEST_F(NetTest, WritingToAPeerThatHasGoneNeverRaisesSigpipe) {
  struct sigaction previous {};
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigaction(SIGPIPE, &fallback, &previous);  // A SIGPIPE would end the test program.
  LoopbackServer server([](int) {});
  TCPTransport transport("127.0.0.1", server.Port());
  ASSERT_EQ(transport.GetState(), NetTransport::kReady);
  // The server has accepted and closed its end: the socket reads its end.
  ASSERT_TRUE(VUTest::WaitUntil(
      [&] {
        pollfd end{transport.GetSocket(), POLLRDHUP, 0};
        return server.Accepted() != 0 && ::poll(&end, 1, 0) > 0;
      },
      5000, 1));
  const auto data = Pattern(kNetMaxChunk);
  bool failed = false;
  for (int i = 0; i < 200 && !failed; ++i) {
    failed = !NetSendExact(&transport, data.data(), static_cast<uint32_t>(data.size()));
    Kiv::Time::Delay(1);
  }
  EXPECT_TRUE(failed);
  EXPECT_EQ(transport.GetState(), NetTransport::kFailed);
  EXPECT_LT(transport.Write(data.data(), 16), 0);
  sigaction(SIGPIPE, &previous, nullptr);
}

TEST_F(NetTest, CloseWakesAThreadBlockedInRead) {
  std::promise<void> release;
  auto released = release.get_future();
  LoopbackServer server([&released](int) { released.wait_for(std::chrono::seconds(10)); });
  TCPTransport transport("127.0.0.1", server.Port());
  ASSERT_EQ(transport.GetState(), NetTransport::kReady);
  std::atomic<int> result{1};
  std::atomic<bool> reading{false};
  std::atomic<bool> returned{false};
  std::thread reader([&] {
    unsigned char buffer[16];
    reading = true;
    result = NetReceiveExact(&transport, buffer, sizeof(buffer)) ? 1 : 0;
    returned = true;
  });
  // The server sends nothing, so the read cannot end before the close.
  ASSERT_TRUE(VUTest::WaitUntil([&] { return reading.load(); }, 5000, 1));
  EXPECT_FALSE(VUTest::WaitUntil([&] { return returned.load(); }, 50, 1));
  transport.Close();
  EXPECT_TRUE(VUTest::WaitUntil([&] { return returned.load(); }, 3000, 1));
  reader.join();
  release.set_value();
  EXPECT_EQ(result.load(), 0);
  EXPECT_EQ(transport.GetState(), NetTransport::kClosed);
  EXPECT_EQ(transport.GetSocket(), -1);
  transport.Close();  // Twice is harmless.
}

TEST_F(NetTest, ReconnectMakesANewTransportToTheSameHost) {
  LoopbackServer first([](int) {});
  LoopbackServer second([](int) {});
  TCPTransport transport("LOCALHOST", first.Port());
  ASSERT_EQ(transport.GetState(), NetTransport::kReady);
  std::unique_ptr<NetTransport> again(transport.Reconnect(second.Port()));
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->GetState(), NetTransport::kReady);
  auto* tcp = dynamic_cast<TCPTransport*>(again.get());
  ASSERT_NE(tcp, nullptr);
  EXPECT_STREQ(tcp->GetHost(), "LOCALHOST");
  EXPECT_EQ(tcp->GetPort(), second.Port());
}

TEST_F(NetTest, ConnectToAListenerThatNeverAnswersIsBounded) {
  // A listener whose accept queue is full drops new connection requests, so
  // the connect would wait for the system's own (minutes long) time-out.
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof(address);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), size), 0);
  ASSERT_EQ(::listen(listener, 0), 0);
  ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size), 0);
  std::vector<int> fillers;
  for (int i = 0; i < 4; ++i) {
    const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    fillers.push_back(filler);
  }
  // The accept queue is full once a filler's connection is established.
  VUTest::WaitUntil(
      [&] {
        pollfd entry{fillers[0], POLLOUT, 0};
        return ::poll(&entry, 1, 0) > 0;
      },
      2000, 1);
  const auto start = Clock::now();
  TCPTransport transport("127.0.0.1", ntohs(address.sin_port));
  const int64_t elapsed = MsSince(start);
  EXPECT_EQ(transport.GetState(), NetTransport::kNotConnected);
  EXPECT_LT(elapsed, TCPTransport::kConnectTimeoutMs + 2000);
  for (const int filler : fillers) ::close(filler);
  ::close(listener);
}

TEST_F(NetTest, SSLTransportWithoutConnectionFailsEveryCall) {
  SSLTransport transport(nullptr, -1);
  EXPECT_EQ(transport.GetState(), NetTransport::kNotConnected);
  ExpectEveryTransferFails(transport);
  EXPECT_EQ(transport.Reconnect(80), nullptr);
  EXPECT_TRUE(transport.BytesAvailable());
  transport.Close();
  EXPECT_EQ(transport.GetState(), NetTransport::kClosed);
}

TEST_F(NetTest, SSLTransportOverAPeerThatHasGoneFailsWithoutSigpipe) {
  struct sigaction previous {};
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigaction(SIGPIPE, &fallback, &previous);
  ASSERT_NE(NetSSLClientContext(), nullptr);
  int pair[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
  ::close(pair[1]);  // The peer is gone before the first byte.
  SSL* ssl = SSL_new(NetSSLClientContext());
  ASSERT_NE(ssl, nullptr);
  ASSERT_EQ(SSL_set_fd(ssl, pair[0]), 1);
  SSL_set_connect_state(ssl);
  {
    SSLTransport transport(ssl, pair[0]);
    EXPECT_EQ(transport.GetState(), NetTransport::kReady);
    const char text[] = "hello";
    EXPECT_LE(transport.Write(text, 5), 0);  // The handshake cannot be sent.
    unsigned char byte = 0;
    EXPECT_LE(transport.Read(&byte, 1), 0);
    EXPECT_LE(transport.Peek(&byte, 1), 0);
    EXPECT_FALSE(NetReceiveExact(&transport, &byte, 1));
    EXPECT_EQ(transport.GetState(), NetTransport::kFailed);
  }  // Shuts the connection down, frees it and closes the socket.
  sigset_t pending;
  sigemptyset(&pending);
  sigpending(&pending);
  EXPECT_EQ(sigismember(&pending, SIGPIPE), 0);
  EXPECT_EQ(::fcntl(pair[0], F_GETFD), -1);  // The socket was closed.
  sigaction(SIGPIPE, &previous, nullptr);
}
