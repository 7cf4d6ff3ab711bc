#include "net/TcpBlockSocket.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <ostream>
#include <thread>
#include <utility>

#include "net/synsock.h"

namespace webtessl {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kWildcardAddress = "0.0.0.0";
constexpr std::string_view kAnyPort = "0";
constexpr int32_t kMillisecondsPerSecond = 1000;
// What WaitWithinDeadline gives once the read deadline has passed.
constexpr int32_t kDeadlinePassed = -2;
// How long Close lets the peer's last bytes arrive before it drops them.
constexpr auto kCloseDrainPause = std::chrono::milliseconds(1);

}  // namespace

TTCPBlockSocket::TTCPBlockSocket() = default;

TTCPBlockSocket::~TTCPBlockSocket() {
  Close();
}

std::string TTCPBlockSocket::ErrorText(int32_t code) {
  return SocketErrorText(code);
}

void TTCPBlockSocket::SetError(int32_t code) {
  lastErrorCode_ = code;
  lastErrorText_ = SocketErrorText(code);
}

void TTCPBlockSocket::RaiseIfFailed() const {
  const bool failed = lastErrorCode_ != kSocketNoError && lastErrorCode_ != kSocketWouldBlock &&
                      lastErrorCode_ != kSocketInProgress;
  if (failed && raiseOnError_) {
    throw SocketFailure(lastErrorCode_, lastErrorText_);
  }
}

void TTCPBlockSocket::SetHandle(TSocket handle) {
  const TMutexLock lock(handleLock_);
  handle_.store(handle, std::memory_order_relaxed);
  receiveTimeout_ = TReceiveTimeout{};
}

void TTCPBlockSocket::ApplyOption(TPendingOption option) {
  if (Handle() != kInvalidSocket) {
    SetError(option(Handle()));
  } else {
    pendingOptions_.push_back(std::move(option));
    SetError(kSocketNoError);
  }
  RaiseIfFailed();
}

void TTCPBlockSocket::ApplyPendingOptions() {
  SetError(kSocketNoError);
  for (const TPendingOption& option : pendingOptions_) {
    SetError(option(Handle()));
    if (lastErrorCode_ != kSocketNoError) {
      return;
    }
  }
}

void TTCPBlockSocket::CreateHandleOf(TSocketFamily family) {
  TSocket handle = kInvalidSocket;
  SetError(CreateSocket(family, handle));
  if (lastErrorCode_ == kSocketNoError) {
    SetHandle(handle);
    ApplyPendingOptions();
  }
}

void TTCPBlockSocket::CreateHandle() {
  SetError(kSocketNoError);
  if (family_ != TSocketFamily::Any && Handle() == kInvalidSocket) {
    CreateHandleOf(family_);
  }
  RaiseIfFailed();
}

void TTCPBlockSocket::SetLingerOption(bool enabled, int32_t timeMs) {
  const int seconds = timeMs / kMillisecondsPerSecond;
  ApplyOption(
      [enabled, seconds](TSocket handle) { return SetSocketLinger(handle, enabled, seconds); });
}

void TTCPBlockSocket::SetNoDelay(bool enabled) {
  ApplyOption([enabled](TSocket handle) { return SetSocketNoDelay(handle, enabled); });
}

void TTCPBlockSocket::SetSendTimeout(int32_t timeoutMs) {
  ApplyOption([timeoutMs](TSocket handle) { return SetSocketSendTimeout(handle, timeoutMs); });
}

void TTCPBlockSocket::ArmReadDeadlineOnData(int32_t limitMs) {
  readDeadline_.reset();
  deadlineArmedMs_ = std::max(limitMs, 0);
}

void TTCPBlockSocket::ClearReadDeadline() {
  readDeadline_.reset();
  deadlineArmedMs_ = 0;
}

// The wait a read may spend: its own timeout, cut to what a running deadline leaves (at least
// 1 ms, as 0 would mean "only what is waiting" and -1 "no limit"); -2 once the deadline is over.
int32_t TTCPBlockSocket::WaitWithinDeadline(int32_t timeoutMs) const {
  if (!readDeadline_) {
    return timeoutMs;
  }
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(*readDeadline_ - Clock::now()).count();
  if (left <= 0) {
    return kDeadlinePassed;
  }
  return timeoutMs < 0 ? static_cast<int32_t>(left)
                       : static_cast<int32_t>(std::min<int64_t>(timeoutMs, left));
}

void TTCPBlockSocket::StartDeadlineIfArmed() {
  if (deadlineArmedMs_ > 0) {
    readDeadline_ = Clock::now() + std::chrono::milliseconds(deadlineArmedMs_);
    deadlineArmedMs_ = 0;
  }
}

void TTCPBlockSocket::Bind(std::string_view address, std::string_view port) {
  SetError(kSocketNoError);
  if (family_ == TSocketFamily::Any && Handle() == kInvalidSocket && address == kWildcardAddress &&
      port == kAnyPort) {
    return;
  }
  TSocketAddress resolved;
  SetError(ResolveAddressPair(address, port, family_, resolved));
  if (lastErrorCode_ == kSocketNoError && Handle() == kInvalidSocket) {
    CreateHandleOf(AddressFamily(resolved));
  }
  if (lastErrorCode_ == kSocketNoError) {
    SetError(BindSocket(Handle(), resolved));
  }
  if (lastErrorCode_ == kSocketNoError) {
    SetError(GetLocalAddress(Handle(), localAddress_));
    readAhead_.clear();
    bound_ = true;
  }
  RaiseIfFailed();
}

void TTCPBlockSocket::Listen() {
  SetError(ListenSocket(Handle(), kMaxListenBacklog));
  if (lastErrorCode_ == kSocketNoError) {
    SetError(GetLocalAddress(Handle(), localAddress_));
  }
  RaiseIfFailed();
}

void TTCPBlockSocket::Connect(std::string_view address, std::string_view port) {
  TSocketAddress resolved;
  SetError(ResolveAddressPair(address, port, family_, resolved));
  if (lastErrorCode_ == kSocketNoError && Handle() == kInvalidSocket) {
    CreateHandleOf(AddressFamily(resolved));
  }
  if (lastErrorCode_ == kSocketNoError) {
    SetError(ConnectSocket(Handle(), resolved));
  }
  if (lastErrorCode_ == kSocketNoError) {
    GetLocalAddress(Handle(), localAddress_);
    GetPeerAddress(Handle(), peerAddress_);
  }
  RaiseIfFailed();
}

bool TTCPBlockSocket::WaitReadable(int32_t timeoutMs) {
  bool readable = false;
  SetError(WaitSocketReadable(Handle(), timeoutMs, readable));
  RaiseIfFailed();
  return readable && lastErrorCode_ == kSocketNoError;
}

TSocket TTCPBlockSocket::Accept() {
  TSocket accepted = kInvalidSocket;
  SetError(AcceptSocket(Handle(), accepted, peerAddress_));
  if (lastErrorCode_ != kSocketNoError && accepted != kInvalidSocket) {
    CloseSocket(accepted);
    accepted = kInvalidSocket;
  }
  RaiseIfFailed();
  return accepted;
}

void TTCPBlockSocket::AdoptHandle(TSocket handle) {
  if (Handle() != kInvalidSocket && Handle() != handle) {
    CloseHandle();
  }
  SetHandle(handle);
  ApplyPendingOptions();
  if (lastErrorCode_ == kSocketNoError) {
    SetError(GetLocalAddress(handle, localAddress_));
  }
  if (lastErrorCode_ == kSocketNoError) {
    SetError(GetPeerAddress(handle, peerAddress_));
  }
  RaiseIfFailed();
}

// One step of every read: what the read-ahead buffer holds, else what arrives within the timeout
// (at most maxBytes). Never raises; the caller does.
std::string TTCPBlockSocket::ReceivePacket(int32_t timeoutMs, std::size_t maxBytes) {
  SetError(kSocketNoError);
  if (!readAhead_.empty()) {
    StartDeadlineIfArmed();
    return std::exchange(readAhead_, std::string());
  }
  const int32_t wait = WaitWithinDeadline(timeoutMs);
  if (wait == kDeadlinePassed) {
    SetError(kSocketTimedOut);
    return {};
  }
  std::array<char, kMaxBytesWaiting> buffer;
  std::size_t received = 0;
  SetError(ReceiveWithin(Handle(), buffer.data(), std::min<std::size_t>(maxBytes, buffer.size()),
                         wait, receiveTimeout_, received));
  if (lastErrorCode_ != kSocketNoError) {
    return {};
  }
  if (received == 0) {
    SetError(kSocketConnectionReset);  // a receive of nothing: the peer has closed
  } else {
    StartDeadlineIfArmed();
  }
  return std::string(buffer.data(), received);
}

// A line is too long when its end lies beyond the limit, or, while its end has not arrived,
// when what has arrived already exceeds the limit. Bytes after a complete line do not count, so
// a short request line followed at once by a body is not refused.
bool TTCPBlockSocket::LineTooLong(const std::string& accumulator, std::size_t lineEnd) const {
  if (maxLineLength_ <= 0) {
    return false;
  }
  const std::size_t limit = static_cast<std::size_t>(maxLineLength_);
  return lineEnd != std::string::npos ? lineEnd > limit : accumulator.size() > limit;
}

// How many more bytes a line read may take from the system: with a length limit, no more than
// completes a line of the longest length, so that an endless line is refused after buffering
// about the limit.
std::size_t TTCPBlockSocket::LineRoom(const std::string& accumulator) const {
  if (maxLineLength_ <= 0) {
    return kMaxBytesWaiting;
  }
  const std::size_t wanted = static_cast<std::size_t>(maxLineLength_) + kLineEnd.size();
  return wanted > accumulator.size() ? wanted - accumulator.size() : 1;
}

std::string TTCPBlockSocket::ReceiveLine(int32_t timeoutMs) {
  SetError(kSocketNoError);
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
  std::string accumulator;
  std::size_t lineEnd = std::string::npos;
  for (bool firstPacket = true;; firstPacket = false) {
    int32_t wait = timeoutMs;
    if (!interPacketTimeout_ && timeoutMs >= 0) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0 && !firstPacket) {
        SetError(kSocketTimedOut);
        break;
      }
      wait = static_cast<int32_t>(std::max<int64_t>(left, 0));
    }
    const std::size_t searchFrom = accumulator.empty() ? 0 : accumulator.size() - 1;
    accumulator += ReceivePacket(wait, LineRoom(accumulator));
    if (lastErrorCode_ != kSocketNoError) {
      break;
    }
    lineEnd = accumulator.find(kLineEnd, searchFrom);
    if (LineTooLong(accumulator, lineEnd)) {
      SetError(kSocketLineTooLong);
      break;
    }
    if (lineEnd != std::string::npos) {
      break;
    }
  }
  std::string line;
  if (lineEnd != std::string::npos) {
    readAhead_ = accumulator.substr(lineEnd + kLineEnd.size());
    accumulator.resize(lineEnd);
    line = std::move(accumulator);
  } else {
    readAhead_ = std::move(accumulator);
  }
  RaiseIfFailed();
  return lastErrorCode_ == kSocketNoError ? line : std::string();
}

void TTCPBlockSocket::ReceiveToStream(std::ostream& stream, int32_t timeoutMs, int64_t count) {
  SetError(kSocketNoError);
  const int64_t blockSize = std::max<int32_t>(maxSendChunk_, 1);
  for (int64_t remaining = count; remaining > 0;) {
    const auto size = static_cast<std::size_t>(std::min(blockSize, remaining));
    std::string block;
    block.reserve(size);
    while (block.size() < size) {
      std::string packet = ReceivePacket(timeoutMs);
      if (lastErrorCode_ != kSocketNoError) {
        readAhead_ = std::move(block);  // what arrived stays for a later read
        RaiseIfFailed();
        return;
      }
      const std::size_t take = std::min(size - block.size(), packet.size());
      block.append(packet, 0, take);
      readAhead_ = packet.substr(take);
    }
    stream.write(block.data(), static_cast<std::streamsize>(block.size()));
    remaining -= static_cast<int64_t>(size);
  }
}

void TTCPBlockSocket::SendText(std::string_view text) {
  SendBytes(text.data(), text.size());
}

std::size_t TTCPBlockSocket::SendBytes(const void* buffer, std::size_t length) {
  SetError(kSocketNoError);
  const auto* bytes = static_cast<const char*>(buffer);
  const auto chunk = static_cast<std::size_t>(std::max<int32_t>(maxSendChunk_, 1));
  std::size_t total = 0;
  while (total < length && lastErrorCode_ == kSocketNoError) {
    std::size_t sent = 0;
    SetError(SendToSocket(Handle(), bytes + total, std::min(chunk, length - total), sent));
    total += sent;
  }
  RaiseIfFailed();
  return total;
}

uint64_t TTCPBlockSocket::SendFile(std::intptr_t file, int64_t offset, uint64_t count) {
  uint64_t sent = 0;
  SetError(SendFileToSocket(Handle(), file, offset, count, sent));
  RaiseIfFailed();
  return sent;
}

// Drops what the peer still sends after our side has shut down, until nothing is waiting.
void TTCPBlockSocket::Drain() {
  std::this_thread::sleep_for(kCloseDrainPause);
  while (true) {
    int waiting = 0;
    if (readAhead_.empty() &&
        (GetSocketBytesWaiting(Handle(), waiting) != kSocketNoError || waiting == 0)) {
      break;
    }
    ReceivePacket(0);
    if (lastErrorCode_ != kSocketNoError) {
      break;
    }
  }
  SetError(kSocketNoError);
}

// Closes the handle gracefully when nothing has failed on it, at once otherwise.
void TTCPBlockSocket::CloseHandle() {
  const TSocket handle = Handle();
  if (handle == kInvalidSocket) {
    return;
  }
  if (lastErrorCode_ == kSocketNoError) {
    ShutdownSocket(handle, TShutdownDirection::Send);
    Drain();
  }
  const TMutexLock lock(handleLock_);
  CloseSocket(handle);
  handle_.store(kInvalidSocket, std::memory_order_relaxed);
  readAhead_.clear();
  bound_ = false;
}

void TTCPBlockSocket::Close() {
  ClearReadDeadline();
  CloseHandle();
  pendingOptions_.clear();
}

void TTCPBlockSocket::Abort() {
  const TMutexLock lock(handleLock_);
  const TSocket handle = handle_.load(std::memory_order_relaxed);
  if (handle != kInvalidSocket) {
    ShutdownSocket(handle, TShutdownDirection::Both);
  }
}

}  // namespace webtessl
