// SocketOwner: the user at the other end of a loopback TCP connection.
//
// TCP has no peer credentials, but on Linux the kernel lists every TCP
// socket of the network namespace in /proc/net/tcp and /proc/net/tcp6, one
// row each with its local and remote address and the user that owns it. The
// socket at the other end of a connection is the row whose local address is
// the connection's remote one and whose remote address is the connection's
// local one.
//
// Addresses are compared as IPv6: an IPv4 address as its IPv4-mapped form
// (::ffff:a.b.c.d), so a dual-stack client listed in tcp6 matches the IPv4
// address the daemon sees.
//
// RowUid parses one row ("sl: local remote st tx:rx tr:when retr uid
// timeout inode ...", addresses as the kernel writes them: each 32-bit word
// of the address as 8 hex digits in host byte order, then ":" and the port
// as 4 hex digits); a header line or a row that does not parse answers
// nothing. FindUid looks
// through a whole table's text. PeerUid asks the kernel for the peer's
// socket alone (sock_diag) when both ends are IPv4, and otherwise, or when
// that fails, reads both tables for a connected socket; nothing when the socket's addresses cannot
// be read, the tables cannot be read, or no row matches (callers must then refuse). PeerInode
// answers the inode of the peer's socket the same way (the number that
// /proc/PID/fd shows as "socket:[N]" in the process that holds it).
//
// No shared state; nothing throws (PeerUid may allocate).
#pragma once

#include <sys/socket.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace SocketOwner {

struct Endpoint {
  std::array<uint8_t, 16> address{};  // IPv6, or IPv4-mapped IPv6
  uint16_t port = 0;                  // host byte order
  bool operator==(const Endpoint&) const = default;
};

// The endpoint of an AF_INET or AF_INET6 address; nothing for others.
std::optional<Endpoint> FromSockaddr(const sockaddr_storage& address);
std::optional<uint32_t> RowUid(std::string_view row, const Endpoint& local, const Endpoint& remote);
std::optional<uint32_t> FindUid(std::string_view table, const Endpoint& local,
                                const Endpoint& remote);
std::optional<uint32_t> PeerUid(int fd);
std::optional<uint64_t> PeerInode(int fd);
// The two ways PeerUid takes: the kernel's answer for the peer's socket of
// an IPv4 connection (nothing for other families or when the kernel does
// not answer), and the tables read for the connection's local and remote
// endpoints.
std::optional<uint32_t> KernelPeerUid(int fd);
std::optional<uint32_t> TablePeerUid(const Endpoint& local, const Endpoint& remote);

}  // namespace SocketOwner
