#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Mutex.h"
#include "net/SocketErrorText.h"
#include "net/SynapseError.h"
#include "platform/Sockets.h"

namespace webtessl {

// One system TCP socket in blocking mode: listening, accepting, connecting, reading CR LF lines
// and byte counts with timeouts, and sending. No operation raises unless RaiseOnError is on;
// each one leaves its result in LastErrorCode (0 after success, else a Winsock number: 10054 the
// peer closed or reset, 10060 timeout, 10055 line too long, ...), which callers test after each
// call. Bytes received beyond what a read hands out stay in a read-ahead buffer for the next read.
// Threading: used by one thread at a time, except Abort, which any thread may call while the
// owning thread is blocked in an operation. Non-copyable.
class TTCPBlockSocket {
 public:
  // Defaults of a new socket.
  static constexpr int32_t kDefaultMaxSendChunk = 65536;

  TTCPBlockSocket();
  // Closes the socket (Close).
  ~TTCPBlockSocket();
  TTCPBlockSocket(const TTCPBlockSocket&) = delete;
  TTCPBlockSocket& operator=(const TTCPBlockSocket&) = delete;

  // Creates the system socket of the configured family; with family Any it does nothing (Bind
  // and Connect then create it for the family of the resolved address).
  void CreateHandle();
  // Sets linger on or off with the time in whole seconds (timeMs / 1000); queued until a handle
  // exists when there is none yet.
  void SetLingerOption(bool enabled, int32_t timeMs);
  // Turns the small-packet delay off (true) or on, so small sends go out at once; queued until
  // a handle exists when there is none yet.
  void SetNoDelay(bool enabled);
  // Ends a send that gets no byte out for timeoutMs (0: waits without end) with 10060, so a peer
  // that never reads cannot hold the sender; queued until a handle exists when there is none yet.
  void SetSendTimeout(int32_t timeoutMs);
  // Resolves the address and port texts (see ResolveAddressPair), creates the handle if needed,
  // binds it and reads the local address back. Empties the read-ahead buffer.
  void Bind(std::string_view address, std::string_view port);
  // Listens with the largest backlog the platform allows.
  void Listen();
  // Connects to the address and port texts; creates the handle if needed.
  void Connect(std::string_view address, std::string_view port);
  // Waits at most timeoutMs (-1: no limit) until data, a pending connection or the peer's close
  // can be read; true only if that happened without error.
  bool WaitReadable(int32_t timeoutMs);
  // Accepts one pending connection; returns its handle (the caller owns it, see AdoptHandle)
  // and records the remote end in PeerAddress. kInvalidSocket with LastErrorCode set on failure.
  TSocket Accept();
  // Takes ownership of an accepted handle (closing any handle held before), applies the queued
  // options and reads the local and remote addresses.
  void AdoptHandle(TSocket handle);

  // Reads one line ended by CR LF (a bare LF does not end a line) and returns it without the
  // terminator; empty with LastErrorCode set on a timeout (each wait for more data gets the full
  // timeout when InterPacketTimeout is on), a close (10054) or a line above MaxLineLength (10055).
  std::string ReceiveLine(int32_t timeoutMs);
  // Appends exactly count bytes to the stream, in blocks of MaxSendChunk bytes, or stops at the
  // first failure; the block that failed is not appended.
  void ReceiveToStream(std::ostream& stream, int32_t timeoutMs, int64_t count);
  // Sends the bytes of the text.
  void SendText(std::string_view text);
  // Sends the whole buffer in pieces of at most MaxSendChunk bytes; returns the count sent.
  std::size_t SendBytes(const void* buffer, std::size_t length);
  // Sends count bytes of the open file from the offset without copying them through this
  // process; returns the count sent, less than count without an error when the file ends early.
  uint64_t SendFile(std::intptr_t file, int64_t offset, uint64_t count);

  // From the next byte received on (taken from the read-ahead buffer or the system), every read
  // must be done within limitMs: their waits are cut to what is left, and once it is used up they
  // fail with 10060. Lets a whole request head be bounded while the wait for it is not.
  void ArmReadDeadlineOnData(int32_t limitMs);
  // Lifts the bound set by ArmReadDeadlineOnData, armed or running.
  void ClearReadDeadline();

  // Graceful close: after an error-free history, shuts the sending side down and drops what the
  // peer still sends; then closes the handle, drops queued options and the read-ahead buffer.
  // After Close the object can be given a new handle. Never raises.
  void Close();
  // Thread-safe: shuts both directions down, so that an operation that the owning thread is
  // blocked in fails at once (10054). The handle itself stays until Close on the owning thread.
  void Abort();

  // The text of an error code (see SocketErrorText). Thread-safe.
  static std::string ErrorText(int32_t code);

  TSocket Handle() const { return handle_.load(std::memory_order_relaxed); }
  int32_t LastErrorCode() const { return lastErrorCode_; }
  const std::string& LastErrorText() const { return lastErrorText_; }
  // Raise ESynapseError on a failure ("Synapse TCP/IP Socket error <code>: <text>"); off by
  // default.
  bool RaiseOnError() const { return raiseOnError_; }
  void SetRaiseOnError(bool value) { raiseOnError_ = value; }
  // Longest line that ReceiveLine accepts, without its CR LF; 0 (the default) means no limit.
  int32_t MaxLineLength() const { return maxLineLength_; }
  void SetMaxLineLength(int32_t value) { maxLineLength_ = value; }
  // On (the default): every wait for more data of a line gets the whole timeout anew. Off: the
  // timeout bounds the whole line.
  bool InterPacketTimeout() const { return interPacketTimeout_; }
  void SetInterPacketTimeout(bool value) { interPacketTimeout_ = value; }
  // Largest block handed to one send call, and the block size of ReceiveToStream.
  int32_t MaxSendChunk() const { return maxSendChunk_; }
  void SetMaxSendChunk(int32_t value) { maxSendChunk_ = value; }
  // Remote end: set by Accept (on the listening socket), AdoptHandle and Connect.
  const TSocketAddress& PeerAddress() const { return peerAddress_; }
  void SetPeerAddress(const TSocketAddress& address) { peerAddress_ = address; }
  // Local end: set by Bind, Listen, AdoptHandle and Connect.
  const TSocketAddress& LocalAddress() const { return localAddress_; }
  // Address family for a new handle: Any (the default: IPv4 preferred), IPv4 or IPv6.
  TSocketFamily Family() const { return family_; }
  void SetFamily(TSocketFamily family) { family_ = family; }
  // True after a successful Bind.
  bool Bound() const { return bound_; }

 private:
  using TPendingOption = std::function<int32_t(TSocket)>;

  void SetError(int32_t code);
  void RaiseIfFailed() const;
  void ApplyOption(TPendingOption option);
  void ApplyPendingOptions();
  void CloseHandle();
  void CreateHandleOf(TSocketFamily family);
  void SetHandle(TSocket handle);
  std::string ReceivePacket(int32_t timeoutMs, std::size_t maxBytes = kMaxBytesWaiting);
  int32_t WaitWithinDeadline(int32_t timeoutMs) const;
  void StartDeadlineIfArmed();
  bool LineTooLong(const std::string& accumulator, std::size_t lineEnd) const;
  std::size_t LineRoom(const std::string& accumulator) const;
  void Drain();

  std::atomic<TSocket> handle_{kInvalidSocket};
  // Held to change the handle and to abort it, so that an abort never shuts down a number that
  // was closed and given to another socket meanwhile. The owner reads the handle without it.
  TMutex handleLock_;
  std::string readAhead_;
  TReceiveTimeout receiveTimeout_;  // what the handle's receive timeout is set to
  int32_t lastErrorCode_ = kSocketNoError;
  std::string lastErrorText_;
  bool raiseOnError_ = false;
  int32_t maxLineLength_ = 0;
  bool interPacketTimeout_ = true;
  int32_t maxSendChunk_ = kDefaultMaxSendChunk;
  TSocketAddress peerAddress_;
  TSocketAddress localAddress_;
  TSocketFamily family_ = TSocketFamily::Any;
  std::vector<TPendingOption> pendingOptions_;
  bool bound_ = false;
  int32_t deadlineArmedMs_ = 0;  // > 0: the next data received starts a deadline this long
  std::optional<std::chrono::steady_clock::time_point> readDeadline_;
};

}  // namespace webtessl
