// Finding the user at the other end of a loopback connection: the table
// parser on rows as the kernel writes them, and real connections.
#include "vaddaemon/SocketOwner.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace {

using SocketOwner::Endpoint;

Endpoint V4(const char* text, uint16_t port) {
  sockaddr_storage address = {};
  auto& v4 = reinterpret_cast<sockaddr_in&>(address);
  v4.sin_family = AF_INET;
  v4.sin_port = htons(port);
  ::inet_pton(AF_INET, text, &v4.sin_addr);
  return *SocketOwner::FromSockaddr(address);
}

Endpoint V6(const char* text, uint16_t port) {
  sockaddr_storage address = {};
  auto& v6 = reinterpret_cast<sockaddr_in6&>(address);
  v6.sin6_family = AF_INET6;
  v6.sin6_port = htons(port);
  ::inet_pton(AF_INET6, text, &v6.sin6_addr);
  return *SocketOwner::FromSockaddr(address);
}

std::string Row(const char* local, const char* remote, const char* uid) {
  return std::string("   7: ") + local + " " + remote +
         " 01 00000000:00000000 00:00000000 00000000 " + uid +
         "        0 41734 1 0000000000000000 20 4 30 10 -1\n";
}

// As /proc/net/tcp lists a daemon on 127.0.0.1:5000 (0x1388) and a client
// at port 40000 (0x9C40): the listener, the daemon's end, the client's end.
const std::string kTcp =
    "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout "
    "inode\n" +
    Row("0100007F:1388", "00000000:0000", "0") + Row("0100007F:1388", "0100007F:9C40", "0") +
    Row("0100007F:9C40", "0100007F:1388", "1000");

constexpr const char* kMappedLoopback = "0000000000000000FFFF00000100007F";
constexpr const char* kIpv6Loopback = "00000000000000000000000001000000";

struct TableCase {
  const char* name;
  std::string table;
  Endpoint local;
  Endpoint remote;
  std::optional<uint32_t> uid;
};

TEST(SocketOwner, RowsAreMatchedByBothEndsAndDamagedRowsSkipped) {
  const Endpoint daemon = V4("127.0.0.1", 5000);
  const Endpoint client = V4("127.0.0.1", 40000);
  const std::string mapped = std::string(kMappedLoopback) + ":9C40";
  const std::string ipv6 = std::string(kIpv6Loopback) + ":9C40";
  const TableCase cases[] = {
      {"client end", kTcp, client, daemon, 1000u},
      {"daemon end", kTcp, daemon, client, 0u},
      {"other port", kTcp, V4("127.0.0.1", 40001), daemon, std::nullopt},
      {"other address", kTcp, V4("127.0.0.2", 40000), daemon, std::nullopt},
      {"mapped client",
       Row(mapped.c_str(), (std::string(kMappedLoopback) + ":1388").c_str(), "65534"), client,
       daemon, 65534u},
      {"ipv6 client", Row(ipv6.c_str(), (std::string(kIpv6Loopback) + ":1388").c_str(), "7"),
       V6("::1", 40000), V6("::1", 5000), 7u},
      {"largest uid", Row("0100007F:9C40", "0100007F:1388", "4294967295"), client, daemon,
       4294967295u},
      {"bad hex", Row("0100007G:9C40", "0100007F:1388", "1"), client, daemon, std::nullopt},
      {"short address", Row("100007F:9C40", "0100007F:1388", "1"), client, daemon, std::nullopt},
      {"short port", Row("0100007F:9C4", "0100007F:1388", "1"), client, daemon, std::nullopt},
      {"no port", Row("0100007F", "0100007F:1388", "1"), client, daemon, std::nullopt},
      {"bad uid", Row("0100007F:9C40", "0100007F:1388", "1x"), client, daemon, std::nullopt},
      {"uid too big", Row("0100007F:9C40", "0100007F:1388", "4294967296"), client, daemon,
       std::nullopt},
      {"cut row", "   7: 0100007F:9C40 0100007F:1388 01 00000000:00000000", client, daemon,
       std::nullopt},
      {"empty", "", client, daemon, std::nullopt},
  };
  for (const TableCase& c : cases) {
    EXPECT_EQ(SocketOwner::FindUid(c.table, c.local, c.remote), c.uid) << c.name;
  }
}

// A real connection: the listener's family and address, the client's
// family and the address it connects to.
struct LiveCase {
  const char* name;
  int listenFamily;
  const char* listenAddress;
  int clientFamily;
  const char* connectAddress;
};

int Socket(int family, const char* text, uint16_t port, sockaddr_storage* address,
           socklen_t* size) {
  *address = {};
  if (family == AF_INET) {
    auto& v4 = reinterpret_cast<sockaddr_in&>(*address);
    v4.sin_family = AF_INET;
    v4.sin_port = htons(port);
    ::inet_pton(AF_INET, text, &v4.sin_addr);
    *size = sizeof(v4);
  } else {
    auto& v6 = reinterpret_cast<sockaddr_in6&>(*address);
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(port);
    ::inet_pton(AF_INET6, text, &v6.sin6_addr);
    *size = sizeof(v6);
  }
  return ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
}

TEST(SocketOwner, PeerOfARealConnectionIsThisUser) {
  const LiveCase cases[] = {
      {"ipv4", AF_INET, "127.0.0.1", AF_INET, "127.0.0.1"},
      {"ipv4-mapped client", AF_INET, "127.0.0.1", AF_INET6, "::ffff:127.0.0.1"},
      {"ipv6", AF_INET6, "::1", AF_INET6, "::1"},
  };
  for (const LiveCase& c : cases) {
    sockaddr_storage address;
    socklen_t size = 0;
    const int listener = Socket(c.listenFamily, c.listenAddress, 0, &address, &size);
    ASSERT_GE(listener, 0) << c.name;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), size) != 0) {
      ::close(listener);  // No IPv6 loopback here.
      continue;
    }
    ASSERT_EQ(::listen(listener, 1), 0) << c.name;
    size = sizeof(address);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size), 0);
    const uint16_t port =
        ntohs(c.listenFamily == AF_INET ? reinterpret_cast<sockaddr_in&>(address).sin_port
                                        : reinterpret_cast<sockaddr_in6&>(address).sin6_port);
    const int client = Socket(c.clientFamily, c.connectAddress, port, &address, &size);
    ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&address), size), 0) << c.name;
    const int accepted = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    ASSERT_GE(accepted, 0) << c.name;
    EXPECT_EQ(SocketOwner::PeerUid(accepted), std::optional<uint32_t>(::geteuid())) << c.name;
    EXPECT_EQ(SocketOwner::PeerUid(client), std::optional<uint32_t>(::geteuid())) << c.name;
    // The far end's socket, as its process holds it.
    struct stat clientSocket {};
    ASSERT_EQ(::fstat(client, &clientSocket), 0);
    EXPECT_EQ(SocketOwner::PeerInode(accepted), std::optional<uint64_t>(clientSocket.st_ino))
        << c.name;
    // Both ways agree: the kernel's answer (IPv4 only) and the tables.
    const bool ipv4 = c.listenFamily == AF_INET && c.clientFamily == AF_INET;
    EXPECT_EQ(SocketOwner::KernelPeerUid(accepted),
              ipv4 ? std::optional<uint32_t>(::geteuid()) : std::nullopt)
        << c.name;
    sockaddr_storage ours = {};
    sockaddr_storage theirs = {};
    socklen_t length = sizeof(ours);
    ASSERT_EQ(::getsockname(accepted, reinterpret_cast<sockaddr*>(&ours), &length), 0);
    length = sizeof(theirs);
    ASSERT_EQ(::getpeername(accepted, reinterpret_cast<sockaddr*>(&theirs), &length), 0);
    EXPECT_EQ(SocketOwner::TablePeerUid(*SocketOwner::FromSockaddr(ours),
                                        *SocketOwner::FromSockaddr(theirs)),
              std::optional<uint32_t>(::geteuid()))
        << c.name;
    ::close(accepted);
    ::close(client);
    ::close(listener);
  }
  EXPECT_EQ(SocketOwner::PeerUid(-1), std::nullopt);
  EXPECT_EQ(SocketOwner::KernelPeerUid(-1), std::nullopt);
  EXPECT_EQ(SocketOwner::PeerInode(-1), std::nullopt);
}

}  // namespace
