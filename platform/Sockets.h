#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace webtessl {

// The operating system's TCP sockets, reduced to what the socket class of net/ needs. Every
// operation returns 0 on success or a failure code in the Winsock numbering (10054 for a reset
// connection, 10060 for a timeout, ...), so that the rules above this layer that test a code hold
// on every platform. Interrupted calls are retried here. No operation ever raises SIGPIPE.
// Thread-safe: the functions keep no state; a handle may be used by several threads as the
// caller's own rules allow.

// A system socket handle; kInvalidSocket (all bits set) is "no handle".
using TSocket = std::uintptr_t;
inline constexpr TSocket kInvalidSocket = ~TSocket{0};

// The address family to use when a socket is created or an address is resolved.
enum class TSocketFamily { Any, IPv4, IPv6 };

// One socket address (family, port, address) in the platform's own layout, sized for IPv6.
// A zeroed record is "no address". Copyable value.
struct TSocketAddress {
  alignas(8) std::array<std::byte, 28> Bytes{};
};

// Which direction ShutdownSocket closes.
enum class TShutdownDirection { Send, Both };

// Largest listen backlog; the platform takes the most it allows.
inline constexpr int kMaxListenBacklog = 2147483647;

// Largest byte count that SocketBytesWaiting reports.
inline constexpr int kMaxBytesWaiting = 65536;

// Maps an error number of the operating system to the Winsock numbering. Thread-safe.
int32_t SocketErrorFromSystem(int systemError);

// Makes the socket interface usable for this process; false when it cannot be loaded.
// Nothing needs loading here, so it always succeeds. Thread-safe.
bool LoadSocketInterface();

// Creates a blocking TCP stream socket of the family (IPv4 or IPv6), not inherited by children.
int32_t CreateSocket(TSocketFamily family, TSocket& handle);
// Closes the handle. The handle must not be in use by another thread any more.
int32_t CloseSocket(TSocket handle);
// Shuts one or both directions down; wakes a thread that waits on or receives from the handle.
int32_t ShutdownSocket(TSocket handle, TShutdownDirection direction);

// Sets or reads the linger option (on/off and whole seconds).
int32_t SetSocketLinger(TSocket handle, bool enabled, int seconds);
int32_t GetSocketLinger(TSocket handle, bool& enabled, int& seconds);
// Turns the small-packet delay (Nagle's algorithm) off when enabled is true, or back on.
int32_t SetSocketNoDelay(TSocket handle, bool enabled);
int32_t GetSocketNoDelay(TSocket handle, bool& enabled);
// Bounds how long one send may go without any byte taken by the system (0: no bound); a send that
// makes no progress for that long fails with the timeout code, 10060.
int32_t SetSocketSendTimeout(TSocket handle, int timeoutMs);

// Binds the handle. An address still held by closed connections of a previous run can be bound
// again at once (as Windows allows); an address that another socket listens on cannot.
int32_t BindSocket(TSocket handle, const TSocketAddress& address);
int32_t ListenSocket(TSocket handle, int backlog);
// Accepts one pending connection into accepted (with linger off) and its remote end into peer.
int32_t AcceptSocket(TSocket handle, TSocket& accepted, TSocketAddress& peer);
int32_t ConnectSocket(TSocket handle, const TSocketAddress& address);
int32_t GetLocalAddress(TSocket handle, TSocketAddress& address);
int32_t GetPeerAddress(TSocket handle, TSocketAddress& address);

// Waits at most timeoutMs (-1: no limit) until the handle is readable: data, a pending
// connection, the peer's close or a reset. readable tells whether it became so.
int32_t WaitSocketReadable(TSocket handle, int timeoutMs, bool& readable);
// The receive timeout that ReceiveWithin last set on one handle, so that waiting as long again
// costs no extra system call. Give every new handle a fresh record.
struct TReceiveTimeout {
  int AppliedMs = kNoTimeoutApplied;
  static constexpr int kNoTimeoutApplied = -2;
};
// One receive of at most length bytes, waiting at most timeoutMs (-1: no limit; 0: only what is
// waiting already): received is 0 when the peer has closed; when nothing arrives in time the
// result is the timeout code, 10060. A shutdown from another thread ends the wait.
int32_t ReceiveWithin(TSocket handle, void* buffer, std::size_t length, int timeoutMs,
                      TReceiveTimeout& timeout, std::size_t& received);
// How many received bytes wait to be read, at most kMaxBytesWaiting.
int32_t GetSocketBytesWaiting(TSocket handle, int& count);
// Sends the whole buffer (several calls when the platform takes less); sent counts what went out.
int32_t SendToSocket(TSocket handle, const void* buffer, std::size_t length, std::size_t& sent);
// Sends length bytes of the open file from the offset, straight from the system's file cache
// (the file's own position is neither used nor moved); sent counts what went out. It sends fewer
// bytes without a failure code only when the file ends before. Where the system can hold partial
// segments back, a long part leaves in whole ones; whatever is left is on its way at the return.
int32_t SendFileToSocket(TSocket handle, std::intptr_t file, int64_t offset, uint64_t length,
                         uint64_t& sent);

// Resolves a node name (none: the wildcard address when passive, else loopback) and a service
// (a decimal port or a service name) for a TCP stream socket of the family.
int32_t ResolveSocketAddress(const std::optional<std::string>& node, const std::string& service,
                             TSocketFamily family, bool passive, TSocketAddress& address);

// The family, port and numeric address text of an address record.
TSocketFamily AddressFamily(const TSocketAddress& address);
uint16_t AddressPort(const TSocketAddress& address);
std::string AddressText(const TSocketAddress& address);

// This machine's host name as the system knows it (empty when it cannot tell). Thread-safe.
std::string LocalHostName();

// Raises this process's limit on open descriptors towards wanted (as far as the hard limit
// allows) and returns the limit now in force. Thread-safe.
int64_t RaiseOpenFileLimit(int64_t wanted);

}  // namespace webtessl
