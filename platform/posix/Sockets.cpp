// POSIX backend of platform/Sockets.h: BSD sockets with poll and ioctl, errno mapped to the
// Winsock numbering in one place.

#include "platform/Sockets.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>

#include "platform/internal/SocketRecords.h"  // after the system's socket headers
#include "platform/posix/Interrupted.h"
#include "platform/posix/PipeSignal.h"

namespace webtessl {

namespace {

using namespace socket_records;

// Winsock numbers that the mappings below produce beyond the plain errno table.
constexpr int32_t kSystemCallFailure = 10107;
constexpr int32_t kServiceNotFound = 10109;
constexpr int32_t kHostNotFound = 11001;
constexpr int32_t kTryAgain = 11002;
constexpr int32_t kNoRecovery = 11003;
constexpr int32_t kNoData = 11004;

int NativeDescriptor(TSocket handle) {
  return static_cast<int>(handle);
}

// The most one sendfile call takes on Linux.
constexpr uint64_t kLargestSendFileStep = 0x7ffff000;
constexpr int kMillisecondsPerSecond = 1000;
constexpr std::size_t kLargestHostName = 255;
constexpr int kMicrosecondsPerMillisecond = 1000;

// Keeps SIGPIPE of a send to a closed connection away from this thread while it lives: the
// signal is blocked and, when the send raised it, taken back before it is unblocked, so the
// failure stays an error code (EPIPE). For calls that have no MSG_NOSIGNAL. Where the process
// ignores the signal for good, there is nothing to keep away, and the three calls are saved.
class TPipeSignalGuard {
 public:
  TPipeSignalGuard() : active_(!BrokenPipeIgnored()) {
    if (!active_) return;
    sigemptyset(&pipe_);
    sigaddset(&pipe_, SIGPIPE);
    sigemptyset(&pending_);
    sigpending(&pending_);
    pthread_sigmask(SIG_BLOCK, &pipe_, &previous_);
  }
  ~TPipeSignalGuard() {
    if (!active_) return;
    if (raised_ && sigismember(&pending_, SIGPIPE) == 0) {
      const timespec noWait{0, 0};
      RetryInterrupted([&] { return sigtimedwait(&pipe_, nullptr, &noWait); });
    }
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }
  TPipeSignalGuard(const TPipeSignalGuard&) = delete;
  TPipeSignalGuard& operator=(const TPipeSignalGuard&) = delete;

  // Records a failure that raised the signal.
  void NoteFailure(int error) { raised_ = raised_ || error == EPIPE; }

 private:
  const bool active_;
  sigset_t pipe_{};
  sigset_t pending_{};  // pending before the guard: such a signal is not ours to take
  sigset_t previous_{};
  bool raised_ = false;
};

// The result of the last failed call of this thread.
int32_t LastError() {
  return SocketErrorFromSystem(errno);
}

// A blocking send that fails with "would block" ran into the send timeout: nothing was taken
// for that long.
int32_t SendFailure() {
  return errno == EAGAIN || errno == EWOULDBLOCK ? SocketErrorFromSystem(ETIMEDOUT) : LastError();
}

// Maps a getaddrinfo result code to the Winsock numbering.
int32_t ResolveErrorFromSystem(int code) {
  switch (code) {
    case 0:
      return 0;
    case EAI_NONAME:
      return kHostNotFound;
#ifdef EAI_NODATA
    case EAI_NODATA:
      return kNoData;
#endif
    case EAI_AGAIN:
      return kTryAgain;
    case EAI_FAIL:
      return kNoRecovery;
    case EAI_SERVICE:
      return kServiceNotFound;
    case EAI_FAMILY:
      return SocketErrorFromSystem(EAFNOSUPPORT);
    case EAI_SOCKTYPE:
      return SocketErrorFromSystem(ESOCKTNOSUPPORT);
    case EAI_MEMORY:
      return SocketErrorFromSystem(ENOBUFS);
    case EAI_SYSTEM:
      return LastError();
    default:
      return SocketErrorFromSystem(EINVAL);
  }
}

template <typename Value>
int32_t SetOption(TSocket handle, int level, int name, const Value& value) {
  return setsockopt(NativeDescriptor(handle), level, name, &value, sizeof(value)) == 0
             ? 0
             : LastError();
}

// Holds a long transfer's data back from the wire until it fills whole segments, while it lives;
// what is left goes out when it ends. A connection without delay pushes whatever it holds each
// time a blocking send waits for room, so a file of a gigabyte would leave in many part-filled
// segments, each costing both ends its own processing (measured on loopback: a quarter to three
// quarters more segments and about a fifth less throughput). Two more system calls are nothing
// next to a megabyte, but a measurable share of a small answer, so shorter ones go as they are.
class TFullSegments {
 public:
  static constexpr uint64_t kLongTransferBytes = 1024 * 1024;

  TFullSegments(TSocket handle, uint64_t length)
      : handle_(handle), active_(length >= kLongTransferBytes && Hold(true) == 0) {}
  ~TFullSegments() {
    if (active_) Hold(false);  // releasing pushes the rest at once
  }
  TFullSegments(const TFullSegments&) = delete;
  TFullSegments& operator=(const TFullSegments&) = delete;

 private:
  int32_t Hold(bool held) const { return SetOption(handle_, IPPROTO_TCP, TCP_CORK, int{held}); }

  const TSocket handle_;
  const bool active_;
};

template <typename Value>
int32_t GetOption(TSocket handle, int level, int name, Value& value) {
  socklen_t length = sizeof(value);
  return getsockopt(NativeDescriptor(handle), level, name, &value, &length) == 0 ? 0 : LastError();
}

}  // namespace

int32_t SocketErrorFromSystem(int systemError) {
  switch (systemError) {
    case 0:
      return 0;
    case EINTR:
      return 10004;
    case EBADF:
      return 10009;
    case EACCES:
    case EPERM:
      return 10013;
    case EFAULT:
      return 10014;
    case EINVAL:
      return 10022;
    case EMFILE:
    case ENFILE:
      return 10024;
    case EAGAIN:
      return 10035;
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
      return 10035;
#endif
    case EINPROGRESS:
      return 10036;
    case EALREADY:
      return 10037;
    case ENOTSOCK:
      return 10038;
    case EDESTADDRREQ:
      return 10039;
    case EMSGSIZE:
      return 10040;
    case EPROTOTYPE:
      return 10041;
    case ENOPROTOOPT:
      return 10042;
    case EPROTONOSUPPORT:
      return 10043;
    case ESOCKTNOSUPPORT:
      return 10044;
    case EOPNOTSUPP:
      return 10045;
    case EPFNOSUPPORT:
      return 10046;
    case EAFNOSUPPORT:
      return 10047;
    case EADDRINUSE:
      return 10048;
    case EADDRNOTAVAIL:
      return 10049;
    case ENETDOWN:
      return 10050;
    case ENETUNREACH:
      return 10051;
    case ENETRESET:
      return 10052;
    case ECONNABORTED:
      return 10053;
    case ECONNRESET:
    case EPIPE:
      return 10054;
    case ENOBUFS:
    case ENOMEM:
      return 10055;
    case EISCONN:
      return 10056;
    case ENOTCONN:
      return 10057;
    case ESHUTDOWN:
      return 10058;
    case ETOOMANYREFS:
      return 10059;
    case ETIMEDOUT:
      return 10060;
    case ECONNREFUSED:
      return 10061;
    case ELOOP:
      return 10062;
    case ENAMETOOLONG:
      return 10063;
    case EHOSTDOWN:
      return 10064;
    case EHOSTUNREACH:
      return 10065;
    case ENOTEMPTY:
      return 10066;
    case EUSERS:
      return 10068;
    case EDQUOT:
      return 10069;
    case ESTALE:
      return 10070;
    case EREMOTE:
      return 10071;
    default:
      return kSystemCallFailure;
  }
}

bool LoadSocketInterface() {
  return true;
}

int32_t CreateSocket(TSocketFamily family, TSocket& handle) {
  const int descriptor = socket(NativeFamily(family), SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (descriptor < 0) {
    handle = kInvalidSocket;
    return LastError();
  }
  handle = static_cast<TSocket>(descriptor);
  return 0;
}

int32_t CloseSocket(TSocket handle) {
  // close() is not retried after EINTR: on Linux the descriptor is released either way.
  return close(NativeDescriptor(handle)) == 0 ? 0 : LastError();
}

int32_t ShutdownSocket(TSocket handle, TShutdownDirection direction) {
  const int how = direction == TShutdownDirection::Send ? SHUT_WR : SHUT_RDWR;
  return shutdown(NativeDescriptor(handle), how) == 0 ? 0 : LastError();
}

int32_t SetSocketLinger(TSocket handle, bool enabled, int seconds) {
  const linger value{enabled ? 1 : 0, seconds};
  return SetOption(handle, SOL_SOCKET, SO_LINGER, value);
}

int32_t GetSocketLinger(TSocket handle, bool& enabled, int& seconds) {
  linger value{};
  const int32_t error = GetOption(handle, SOL_SOCKET, SO_LINGER, value);
  enabled = value.l_onoff != 0;
  seconds = value.l_linger;
  return error;
}

int32_t SetSocketNoDelay(TSocket handle, bool enabled) {
  const int value = enabled ? 1 : 0;
  return SetOption(handle, IPPROTO_TCP, TCP_NODELAY, value);
}

int32_t SetSocketSendTimeout(TSocket handle, int timeoutMs) {
  const int limit = std::max(timeoutMs, 0);
  const timeval value{limit / kMillisecondsPerSecond,
                     (limit % kMillisecondsPerSecond) * kMicrosecondsPerMillisecond};
  return SetOption(handle, SOL_SOCKET, SO_SNDTIMEO, value);
}

int32_t GetSocketNoDelay(TSocket handle, bool& enabled) {
  int value = 0;
  const int32_t error = GetOption(handle, IPPROTO_TCP, TCP_NODELAY, value);
  enabled = value != 0;
  return error;
}

int32_t BindSocket(TSocket handle, const TSocketAddress& address) {
  // Linux refuses to bind a port that closed connections still hold in TIME_WAIT unless this
  // option is on; unlike on Windows it never lets two sockets listen on one port.
  const int reuse = 1;
  if (const int32_t error = SetOption(handle, SOL_SOCKET, SO_REUSEADDR, reuse); error != 0) {
    return error;
  }
  return bind(NativeDescriptor(handle), NativeAddress(address), NativeLength(address)) == 0
             ? 0
             : LastError();
}

int32_t ListenSocket(TSocket handle, int backlog) {
  return listen(NativeDescriptor(handle), backlog) == 0 ? 0 : LastError();
}

int32_t AcceptSocket(TSocket handle, TSocket& accepted, TSocketAddress& peer) {
  accepted = kInvalidSocket;
  peer = TSocketAddress{};
  const int descriptor = RetryInterrupted([&] {
    socklen_t length = peer.Bytes.size();
    return accept4(NativeDescriptor(handle), NativeAddress(peer), &length, SOCK_CLOEXEC);
  });
  if (descriptor < 0) {
    return LastError();
  }
  accepted = static_cast<TSocket>(descriptor);
  // An accepted socket inherits the listener's linger option; with linger on and 0 seconds its
  // close would reset the connection and drop unsent data instead of closing gracefully.
  return SetSocketLinger(accepted, false, 0);
}

int32_t ConnectSocket(TSocket handle, const TSocketAddress& address) {
  if (connect(NativeDescriptor(handle), NativeAddress(address), NativeLength(address)) == 0) {
    return 0;
  }
  if (errno != EINTR) {
    return LastError();
  }
  // An interrupted connect goes on in the background: wait for it and fetch its outcome.
  pollfd entry{NativeDescriptor(handle), POLLOUT, 0};
  if (RetryInterrupted([&] { return poll(&entry, 1, -1); }) < 0) {
    return LastError();
  }
  int outcome = 0;
  const int32_t error = GetOption(handle, SOL_SOCKET, SO_ERROR, outcome);
  return error != 0 ? error : SocketErrorFromSystem(outcome);
}

int32_t GetLocalAddress(TSocket handle, TSocketAddress& address) {
  address = TSocketAddress{};
  socklen_t length = address.Bytes.size();
  return getsockname(NativeDescriptor(handle), NativeAddress(address), &length) == 0 ? 0
                                                                                     : LastError();
}

int32_t GetPeerAddress(TSocket handle, TSocketAddress& address) {
  address = TSocketAddress{};
  socklen_t length = address.Bytes.size();
  return getpeername(NativeDescriptor(handle), NativeAddress(address), &length) == 0 ? 0
                                                                                     : LastError();
}

int32_t WaitSocketReadable(TSocket handle, int timeoutMs, bool& readable) {
  using Clock = std::chrono::steady_clock;
  readable = false;
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
  pollfd entry{NativeDescriptor(handle), POLLIN, 0};
  // An interrupted wait goes on for what is left of the time.
  const int ready = RetryInterrupted([&] {
    if (timeoutMs < 0) return poll(&entry, 1, -1);
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return poll(&entry, 1, static_cast<int>(std::max<int64_t>(left.count(), 0)));
  });
  if (ready < 0) {
    return LastError();
  }
  if (ready > 0 && (entry.revents & POLLNVAL) != 0) {
    return SocketErrorFromSystem(EBADF);
  }
  readable = ready > 0;
  return 0;
}

int32_t GetSocketBytesWaiting(TSocket handle, int& count) {
  count = 0;
  int waiting = 0;
  if (ioctl(NativeDescriptor(handle), FIONREAD, &waiting) != 0) {
    return LastError();
  }
  count = std::min(waiting, kMaxBytesWaiting);
  return 0;
}

// A blocking receive bounded by the socket's own receive timeout: one system call where waiting
// first and then reading would take two.
int32_t ReceiveWithin(TSocket handle, void* buffer, std::size_t length, int timeoutMs,
                      TReceiveTimeout& timeout, std::size_t& received) {
  received = 0;
  int flags = MSG_NOSIGNAL;
  if (timeoutMs == 0) {
    flags |= MSG_DONTWAIT;
  } else if (timeout.AppliedMs != timeoutMs) {
    const int limit = std::max(timeoutMs, 0);  // a zero receive timeout means none
    const timeval value{limit / kMillisecondsPerSecond,
                       (limit % kMillisecondsPerSecond) * kMicrosecondsPerMillisecond};
    if (const int32_t error = SetOption(handle, SOL_SOCKET, SO_RCVTIMEO, value); error != 0) {
      return error;
    }
    timeout.AppliedMs = timeoutMs;
  }
  const ssize_t result =
      RetryInterrupted([&] { return recv(NativeDescriptor(handle), buffer, length, flags); });
  if (result < 0) {
    return errno == EAGAIN || errno == EWOULDBLOCK ? SocketErrorFromSystem(ETIMEDOUT)
                                                    : LastError();
  }
  received = static_cast<std::size_t>(result);
  return 0;
}

int32_t SendToSocket(TSocket handle, const void* buffer, std::size_t length, std::size_t& sent) {
  sent = 0;
  const auto* bytes = static_cast<const char*>(buffer);
  while (sent < length) {
    const ssize_t result = RetryInterrupted(
        [&] { return send(NativeDescriptor(handle), bytes + sent, length - sent, MSG_NOSIGNAL); });
    if (result < 0) {
      return SendFailure();
    }
    sent += static_cast<std::size_t>(result);
  }
  return 0;
}

int32_t SendFileToSocket(TSocket handle, std::intptr_t file, int64_t offset, uint64_t length,
                         uint64_t& sent) {
  sent = 0;
  TPipeSignalGuard guard;
  const TFullSegments segments(handle, length);
  off_t position = static_cast<off_t>(offset);
  while (sent < length) {
    const auto step = static_cast<size_t>(std::min(length - sent, kLargestSendFileStep));
    const ssize_t result = RetryInterrupted(
        [&] { return sendfile(NativeDescriptor(handle), static_cast<int>(file), &position, step); });
    if (result < 0) {
      guard.NoteFailure(errno);
      return SendFailure();
    }
    if (result == 0) {
      break;  // the file ends here
    }
    sent += static_cast<uint64_t>(result);
  }
  return 0;
}

int32_t ResolveSocketAddress(const std::optional<std::string>& node, const std::string& service,
                             TSocketFamily family, bool passive, TSocketAddress& address) {
  address = TSocketAddress{};
  addrinfo hints{};
  hints.ai_family = NativeFamily(family);
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = passive ? AI_PASSIVE : 0;
  addrinfo* found = nullptr;
  const int code = getaddrinfo(node ? node->c_str() : nullptr, service.c_str(), &hints, &found);
  if (code != 0) {
    return ResolveErrorFromSystem(code);
  }
  const std::size_t length = std::min<std::size_t>(found->ai_addrlen, address.Bytes.size());
  std::memcpy(address.Bytes.data(), found->ai_addr, length);
  freeaddrinfo(found);
  return 0;
}

TSocketFamily AddressFamily(const TSocketAddress& address) {
  return FamilyOf(address);
}

uint16_t AddressPort(const TSocketAddress& address) {
  return PortOf(address);
}

std::string AddressText(const TSocketAddress& address) {
  char text[INET6_ADDRSTRLEN] = {};
  if (const void* host = HostBytesOf(address)) {
    inet_ntop(NativeAddress(address)->sa_family, host, text, sizeof(text));
  }
  return text;
}

std::string LocalHostName() {
  std::array<char, kLargestHostName + 1> name{};
  if (gethostname(name.data(), kLargestHostName) != 0) {
    return {};
  }
  return name.data();
}

int64_t RaiseOpenFileLimit(int64_t wanted) {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) {
    return -1;
  }
  const auto target = static_cast<rlim_t>(wanted);
  if (limit.rlim_cur < target) {
    limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? target : std::min(target, limit.rlim_max);
    setrlimit(RLIMIT_NOFILE, &limit);
    getrlimit(RLIMIT_NOFILE, &limit);
  }
  return static_cast<int64_t>(limit.rlim_cur);
}

}  // namespace webtessl
