// SocketOwner (see SocketOwner.h).
#include "vaddaemon/SocketOwner.h"

#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace SocketOwner {

namespace {

constexpr size_t kLocalField = 1;
constexpr size_t kRemoteField = 2;
constexpr size_t kUidField = 7;
constexpr size_t kInodeField = 9;
constexpr const char* kBlanks = " \t\r\n";

Endpoint MappedIpv4(const void* address, uint16_t port) {
  Endpoint endpoint;
  endpoint.address[10] = 0xFF;
  endpoint.address[11] = 0xFF;
  std::memcpy(endpoint.address.data() + 12, address, 4);
  endpoint.port = port;
  return endpoint;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Exactly `text.size()` hex digits (at most 8) as a number.
std::optional<uint32_t> Hex(std::string_view text) {
  if (text.empty() || text.size() > 8) return std::nullopt;
  uint32_t value = 0;
  for (const char c : text) {
    const int digit = HexDigit(c);
    if (digit < 0) return std::nullopt;
    value = value << 4 | uint32_t(digit);
  }
  return value;
}

// "ADDRESS:PORT": the address as 8 or 32 hex digits, each 8 of them one
// word of the address in host byte order.
std::optional<Endpoint> ParseEndpoint(std::string_view text) {
  const size_t colon = text.find(':');
  if (colon == std::string_view::npos || text.size() - colon - 1 != 4) return std::nullopt;
  const std::string_view address = text.substr(0, colon);
  if (address.size() != 8 && address.size() != 32) return std::nullopt;
  const std::optional<uint32_t> port = Hex(text.substr(colon + 1));
  if (!port) return std::nullopt;
  uint8_t bytes[16];
  for (size_t word = 0; word < address.size() / 8; ++word) {
    const std::optional<uint32_t> value = Hex(address.substr(word * 8, 8));
    if (!value) return std::nullopt;
    std::memcpy(bytes + word * 4, &*value, 4);
  }
  if (address.size() == 8) return MappedIpv4(bytes, uint16_t(*port));
  Endpoint endpoint;
  std::memcpy(endpoint.address.data(), bytes, 16);
  endpoint.port = uint16_t(*port);
  return endpoint;
}

// The field-th (0-based) field of a row separated by blanks.
std::string_view Field(std::string_view row, size_t field) {
  size_t at = 0;
  for (size_t i = 0;; ++i) {
    at = row.find_first_not_of(kBlanks, at);
    if (at == std::string_view::npos) return std::string_view();
    size_t end = row.find_first_of(kBlanks, at);
    if (end == std::string_view::npos) end = row.size();
    if (i == field) return row.substr(at, end - at);
    at = end;
  }
}

// The local and the peer's address of the connected socket `fd`.
bool SocketAddresses(int fd, sockaddr_storage& ours, sockaddr_storage& theirs) {
  ours = {};
  theirs = {};
  socklen_t size = sizeof(ours);
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&ours), &size) != 0) return false;
  size = sizeof(theirs);
  return ::getpeername(fd, reinterpret_cast<sockaddr*>(&theirs), &size) == 0;
}

struct DiagSocket {
  uint32_t uid = 0;
  uint64_t inode = 0;
};

// The owner and inode of one IPv4 TCP socket asked of the kernel by its
// exact addresses (a sock_diag lookup of that socket alone, no table to
// read); nothing when the kernel does not answer (then the tables are read).
std::optional<DiagSocket> DiagLookup(const sockaddr_in& socketLocal,
                                     const sockaddr_in& socketRemote) {
  const int diag = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
  if (diag < 0) return std::nullopt;
  timeval wait = {1, 0};
  ::setsockopt(diag, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof(wait));
  struct {
    nlmsghdr header;
    inet_diag_req_v2 request;
  } message = {};
  message.header.nlmsg_len = sizeof(message);
  message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
  message.header.nlmsg_flags = NLM_F_REQUEST;
  message.request.sdiag_family = AF_INET;
  message.request.sdiag_protocol = IPPROTO_TCP;
  message.request.idiag_states = ~0u;
  message.request.id.idiag_sport = socketLocal.sin_port;
  message.request.id.idiag_dport = socketRemote.sin_port;
  std::memcpy(message.request.id.idiag_src, &socketLocal.sin_addr, 4);
  std::memcpy(message.request.id.idiag_dst, &socketRemote.sin_addr, 4);
  message.request.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
  message.request.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
  sockaddr_nl kernel = {};
  kernel.nl_family = AF_NETLINK;
  std::optional<DiagSocket> asked;
  if (::sendto(diag, &message, sizeof(message), 0, reinterpret_cast<sockaddr*>(&kernel),
               sizeof(kernel)) == ssize_t(sizeof(message))) {
    alignas(nlmsghdr) char answer[4096];
    const ssize_t got = ::recv(diag, answer, sizeof(answer), 0);
    const auto* reply = reinterpret_cast<const nlmsghdr*>(answer);
    if (got >= ssize_t(NLMSG_LENGTH(sizeof(inet_diag_msg))) &&
        reply->nlmsg_type == SOCK_DIAG_BY_FAMILY &&
        reply->nlmsg_len >= NLMSG_LENGTH(sizeof(inet_diag_msg))) {
      const auto* found = static_cast<const inet_diag_msg*>(NLMSG_DATA(reply));
      // The answer must be the socket asked about.
      if (found->id.idiag_sport == socketLocal.sin_port &&
          found->id.idiag_dport == socketRemote.sin_port &&
          std::memcmp(found->id.idiag_src, &socketLocal.sin_addr, 4) == 0 &&
          std::memcmp(found->id.idiag_dst, &socketRemote.sin_addr, 4) == 0) {
        asked = DiagSocket{found->idiag_uid, found->idiag_inode};
      }
    }
  }
  ::close(diag);
  return asked;
}

// The socket at the other end of `fd` as the kernel answers for it (both
// ends IPv4), or nothing.
std::optional<DiagSocket> KernelPeer(int fd) {
  sockaddr_storage ours, theirs;
  if (!SocketAddresses(fd, ours, theirs)) return std::nullopt;
  if (ours.ss_family != AF_INET || theirs.ss_family != AF_INET) return std::nullopt;
  return DiagLookup(reinterpret_cast<const sockaddr_in&>(theirs),
                    reinterpret_cast<const sockaddr_in&>(ours));
}

// The decimal field `field` of `row` when its endpoints are `local` and
// `remote`.
std::optional<uint64_t> RowNumber(std::string_view row, const Endpoint& local,
                                  const Endpoint& remote, size_t field) {
  const std::optional<Endpoint> rowLocal = ParseEndpoint(Field(row, kLocalField));
  if (!rowLocal || !(*rowLocal == local)) return std::nullopt;
  const std::optional<Endpoint> rowRemote = ParseEndpoint(Field(row, kRemoteField));
  if (!rowRemote || !(*rowRemote == remote)) return std::nullopt;
  const std::string_view text = Field(row, field);
  if (text.empty() || text.size() > 19) return std::nullopt;
  uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + uint64_t(c - '0');
  }
  return value;
}

// The decimal field `field` of the row of the peer's socket (its local end
// is our remote one) in the tables, or nothing.
std::optional<uint64_t> TablePeerNumber(const Endpoint& local, const Endpoint& remote,
                                        size_t field) {
  for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
    std::FILE* file = std::fopen(table, "re");
    if (file == nullptr) continue;
    char* line = nullptr;
    size_t capacity = 0;
    std::optional<uint64_t> value;
    ssize_t length = 0;
    while (!value && (length = ::getline(&line, &capacity, file)) >= 0) {
      value = RowNumber(std::string_view(line, size_t(length)), remote, local, field);
    }
    std::free(line);
    std::fclose(file);
    if (value) return value;
  }
  return std::nullopt;
}

}  // namespace

std::optional<Endpoint> FromSockaddr(const sockaddr_storage& address) {
  if (address.ss_family == AF_INET) {
    const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
    return MappedIpv4(&v4.sin_addr, ntohs(v4.sin_port));
  }
  if (address.ss_family != AF_INET6) return std::nullopt;
  const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
  Endpoint endpoint;
  std::memcpy(endpoint.address.data(), &v6.sin6_addr, 16);
  endpoint.port = ntohs(v6.sin6_port);
  return endpoint;
}

std::optional<uint32_t> RowUid(std::string_view row, const Endpoint& local,
                               const Endpoint& remote) {
  const std::optional<uint64_t> uid = RowNumber(row, local, remote, kUidField);
  if (!uid || *uid > UINT32_MAX) return std::nullopt;
  return uint32_t(*uid);
}

std::optional<uint32_t> FindUid(std::string_view table, const Endpoint& local,
                                const Endpoint& remote) {
  while (!table.empty()) {
    const size_t end = table.find('\n');
    const std::string_view row = table.substr(0, end);
    const std::optional<uint32_t> uid = RowUid(row, local, remote);
    if (uid) return uid;
    if (end == std::string_view::npos) break;
    table.remove_prefix(end + 1);
  }
  return std::nullopt;
}

std::optional<uint32_t> PeerUid(int fd) {
  if (const std::optional<uint32_t> uid = KernelPeerUid(fd)) return uid;
  sockaddr_storage ours, theirs;
  if (!SocketAddresses(fd, ours, theirs)) return std::nullopt;
  const std::optional<Endpoint> local = FromSockaddr(ours);
  const std::optional<Endpoint> remote = FromSockaddr(theirs);
  if (!local || !remote) return std::nullopt;
  return TablePeerUid(*local, *remote);
}

std::optional<uint32_t> KernelPeerUid(int fd) {
  const std::optional<DiagSocket> peer = KernelPeer(fd);
  if (!peer) return std::nullopt;
  return peer->uid;
}

std::optional<uint32_t> TablePeerUid(const Endpoint& local, const Endpoint& remote) {
  const std::optional<uint64_t> uid = TablePeerNumber(local, remote, kUidField);
  if (!uid || *uid > UINT32_MAX) return std::nullopt;
  return uint32_t(*uid);
}

std::optional<uint64_t> PeerInode(int fd) {
  if (const std::optional<DiagSocket> peer = KernelPeer(fd)) return peer->inode;
  sockaddr_storage ours, theirs;
  if (!SocketAddresses(fd, ours, theirs)) return std::nullopt;
  const std::optional<Endpoint> local = FromSockaddr(ours);
  const std::optional<Endpoint> remote = FromSockaddr(theirs);
  if (!local || !remote) return std::nullopt;
  return TablePeerNumber(*local, *remote, kInodeField);
}

}  // namespace SocketOwner
