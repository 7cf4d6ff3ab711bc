// Win32 backend of platform/Sockets.h: Windows Sockets 2, loaded at run time from ws2_32.dll and
// started with version 2.2. Winsock reports its errors in its own numbering, so codes pass
// through unchanged.

#include "platform/Sockets.h"

#include "platform/win32/FileReads.h"
#include "platform/win32/WinApi.h"

#include "platform/internal/SocketRecords.h"  // after the system's socket headers

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <unordered_set>
#include <vector>

#include "common/Mutex.h"

namespace webtessl {
namespace {

using namespace socket_records;

constexpr char kSocketLibrary[] = "ws2_32.dll";
constexpr WORD kWinsockVersion = MAKEWORD(2, 2);
// What every call reports while the library is not loaded.
constexpr int32_t kNotInitialised = WSANOTINITIALISED;
// A wait for readability looks this often whether its socket was shut down meanwhile.
constexpr int kWaitSliceMs = 50;
constexpr int kMillisecondsPerSecond = 1000;
constexpr int kMicrosecondsPerMillisecond = 1000;
// A file is sent in blocks of this size: few reads and sends, little memory per sending thread.
constexpr uint64_t kSendFileBlock = 262144;

// The functions of the socket library this backend calls, found in the loaded module.
// Filled once, then only read: thread-safe.
struct TWinsock {
  decltype(&::WSAStartup) startup = nullptr;
  decltype(&::WSAGetLastError) lastError = nullptr;
  decltype(&::socket) socket = nullptr;
  decltype(&::closesocket) closesocket = nullptr;
  decltype(&::shutdown) shutdown = nullptr;
  decltype(&::setsockopt) setsockopt = nullptr;
  decltype(&::getsockopt) getsockopt = nullptr;
  decltype(&::bind) bind = nullptr;
  decltype(&::listen) listen = nullptr;
  decltype(&::accept) accept = nullptr;
  decltype(&::connect) connect = nullptr;
  decltype(&::getsockname) getsockname = nullptr;
  decltype(&::getpeername) getpeername = nullptr;
  decltype(&::select) select = nullptr;
  decltype(&::ioctlsocket) ioctlsocket = nullptr;
  decltype(&::recv) recv = nullptr;
  decltype(&::send) send = nullptr;
  decltype(&::getaddrinfo) getaddrinfo = nullptr;
  decltype(&::freeaddrinfo) freeaddrinfo = nullptr;
  decltype(&::inet_ntop) inetNtop = nullptr;
};

// The sockets that this process has shut down in both directions and not yet closed. Windows
// does not wake a select of another thread when its socket is shut down, so waits look here.
// Thread-safe: one lock guards the set.
class TShutDownSockets {
 public:
  void Add(SOCKET socket) {
    const TMutexLock guard(lock_);
    sockets_.insert(socket);
  }
  void Remove(SOCKET socket) {
    const TMutexLock guard(lock_);
    sockets_.erase(socket);
  }
  bool Contains(SOCKET socket) {
    const TMutexLock guard(lock_);
    return sockets_.count(socket) != 0;
  }

 private:
  TMutex lock_;
  std::unordered_set<SOCKET> sockets_ GUARDED_BY(lock_);
};

TShutDownSockets& ShutDownSockets() {
  static TShutDownSockets sockets;
  return sockets;
}

template <typename Function>
bool Find(HMODULE module, const char* name, Function& function) {
  function = reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
  return function != nullptr;
}

// Loads the library, finds every function and starts Winsock; nothing when any step fails.
// The library stays loaded for the life of the process.
std::optional<TWinsock> LoadWinsock() {
  const HMODULE module = ::LoadLibraryA(kSocketLibrary);
  if (module == nullptr) return std::nullopt;
  TWinsock api;
  const bool complete =
      Find(module, "WSAStartup", api.startup) && Find(module, "WSAGetLastError", api.lastError) &&
      Find(module, "socket", api.socket) && Find(module, "closesocket", api.closesocket) &&
      Find(module, "shutdown", api.shutdown) && Find(module, "setsockopt", api.setsockopt) &&
      Find(module, "getsockopt", api.getsockopt) && Find(module, "bind", api.bind) &&
      Find(module, "listen", api.listen) && Find(module, "accept", api.accept) &&
      Find(module, "connect", api.connect) && Find(module, "getsockname", api.getsockname) &&
      Find(module, "getpeername", api.getpeername) && Find(module, "select", api.select) &&
      Find(module, "ioctlsocket", api.ioctlsocket) && Find(module, "recv", api.recv) &&
      Find(module, "send", api.send) && Find(module, "getaddrinfo", api.getaddrinfo) &&
      Find(module, "freeaddrinfo", api.freeaddrinfo) && Find(module, "inet_ntop", api.inetNtop);
  WSADATA data{};
  if (!complete || api.startup(kWinsockVersion, &data) != 0) return std::nullopt;
  return api;
}

const std::optional<TWinsock>& Winsock() {
  static const std::optional<TWinsock> api = LoadWinsock();
  return api;
}

// The loaded functions; only called once Loaded() said yes.
const TWinsock& Api() {
  return *Winsock();
}

bool Loaded() {
  return Winsock().has_value();
}

SOCKET Native(TSocket handle) {
  return static_cast<SOCKET>(handle);
}

int32_t LastError() {
  return Api().lastError();
}

// 0 when a call that returns SOCKET_ERROR on failure succeeded, else its error.
int32_t Outcome(int result) {
  return result == SOCKET_ERROR ? LastError() : 0;
}

template <typename Value>
int32_t SetOption(TSocket handle, int level, int name, const Value& value) {
  return Outcome(Api().setsockopt(Native(handle), level, name,
                                  reinterpret_cast<const char*>(&value), sizeof(value)));
}

template <typename Value>
int32_t GetOption(TSocket handle, int level, int name, Value& value) {
  int length = sizeof(value);
  return Outcome(
      Api().getsockopt(Native(handle), level, name, reinterpret_cast<char*>(&value), &length));
}

// A socket handle must not leak into programs this process starts (the desktop application).
void KeepFromChildren(SOCKET socket) {
  ::SetHandleInformation(reinterpret_cast<HANDLE>(socket), HANDLE_FLAG_INHERIT, 0);
}

// The Winsock code of a failed read of the file being sent.
int32_t FileReadError(DWORD error) {
  return error == ERROR_INVALID_HANDLE ? WSAEBADF : WSASYSCALLFAILURE;
}

}  // namespace

int32_t SocketErrorFromSystem(int systemError) {
  return systemError;
}

bool LoadSocketInterface() {
  return Loaded();
}

int32_t CreateSocket(TSocketFamily family, TSocket& handle) {
  handle = kInvalidSocket;
  if (!Loaded()) return kNotInitialised;
  const SOCKET socket = Api().socket(NativeFamily(family), SOCK_STREAM, IPPROTO_TCP);
  if (socket == INVALID_SOCKET) return LastError();
  KeepFromChildren(socket);
  handle = static_cast<TSocket>(socket);
  return 0;
}

int32_t CloseSocket(TSocket handle) {
  if (!Loaded()) return kNotInitialised;
  ShutDownSockets().Remove(Native(handle));  // the system may give the number to a new socket
  return Outcome(Api().closesocket(Native(handle)));
}

int32_t ShutdownSocket(TSocket handle, TShutdownDirection direction) {
  if (!Loaded()) return kNotInitialised;
  if (direction == TShutdownDirection::Send)
    return Outcome(Api().shutdown(Native(handle), SD_SEND));
  const int32_t error = Outcome(Api().shutdown(Native(handle), SD_BOTH));
  if (error == 0) ShutDownSockets().Add(Native(handle));
  return error;
}

int32_t SetSocketLinger(TSocket handle, bool enabled, int seconds) {
  if (!Loaded()) return kNotInitialised;
  const linger value{static_cast<u_short>(enabled ? 1 : 0), static_cast<u_short>(seconds)};
  return SetOption(handle, SOL_SOCKET, SO_LINGER, value);
}

int32_t GetSocketLinger(TSocket handle, bool& enabled, int& seconds) {
  if (!Loaded()) return kNotInitialised;
  linger value{};
  const int32_t error = GetOption(handle, SOL_SOCKET, SO_LINGER, value);
  enabled = value.l_onoff != 0;
  seconds = value.l_linger;
  return error;
}

int32_t SetSocketNoDelay(TSocket handle, bool enabled) {
  if (!Loaded()) return kNotInitialised;
  const BOOL value = enabled ? TRUE : FALSE;
  return SetOption(handle, IPPROTO_TCP, TCP_NODELAY, value);
}

int32_t SetSocketSendTimeout(TSocket handle, int timeoutMs) {
  if (!Loaded()) return kNotInitialised;
  const DWORD value = static_cast<DWORD>(std::max(timeoutMs, 0));
  return SetOption(handle, SOL_SOCKET, SO_SNDTIMEO, value);
}

int32_t GetSocketNoDelay(TSocket handle, bool& enabled) {
  if (!Loaded()) return kNotInitialised;
  BOOL value = FALSE;
  const int32_t error = GetOption(handle, IPPROTO_TCP, TCP_NODELAY, value);
  enabled = value != FALSE;
  return error;
}

// Windows already binds an address that closed connections still hold, and refuses one that
// another socket listens on, so no option is set.
int32_t BindSocket(TSocket handle, const TSocketAddress& address) {
  if (!Loaded()) return kNotInitialised;
  return Outcome(Api().bind(Native(handle), NativeAddress(address), NativeLength(address)));
}

int32_t ListenSocket(TSocket handle, int backlog) {
  if (!Loaded()) return kNotInitialised;
  return Outcome(Api().listen(Native(handle), backlog));
}

int32_t AcceptSocket(TSocket handle, TSocket& accepted, TSocketAddress& peer) {
  accepted = kInvalidSocket;
  peer = TSocketAddress{};
  if (!Loaded()) return kNotInitialised;
  int length = static_cast<int>(peer.Bytes.size());
  const SOCKET socket = Api().accept(Native(handle), NativeAddress(peer), &length);
  if (socket == INVALID_SOCKET) return LastError();
  KeepFromChildren(socket);
  accepted = static_cast<TSocket>(socket);
  // An accepted socket inherits the listener's linger option; with linger on and 0 seconds its
  // close would reset the connection and drop unsent data instead of closing gracefully.
  return SetSocketLinger(accepted, false, 0);
}

int32_t ConnectSocket(TSocket handle, const TSocketAddress& address) {
  if (!Loaded()) return kNotInitialised;
  return Outcome(Api().connect(Native(handle), NativeAddress(address), NativeLength(address)));
}

int32_t GetLocalAddress(TSocket handle, TSocketAddress& address) {
  address = TSocketAddress{};
  if (!Loaded()) return kNotInitialised;
  int length = static_cast<int>(address.Bytes.size());
  return Outcome(Api().getsockname(Native(handle), NativeAddress(address), &length));
}

int32_t GetPeerAddress(TSocket handle, TSocketAddress& address) {
  address = TSocketAddress{};
  if (!Loaded()) return kNotInitialised;
  int length = static_cast<int>(address.Bytes.size());
  return Outcome(Api().getpeername(Native(handle), NativeAddress(address), &length));
}

// select on one socket: a Windows fd_set is a list of handles, so any handle value fits, and
// the set is ready when select left the handle in it.
int32_t SelectReadable(TSocket handle, int timeoutMs, bool& readable) {
  fd_set watched{};
  watched.fd_count = 1;
  watched.fd_array[0] = Native(handle);
  timeval limit{timeoutMs / kMillisecondsPerSecond,
                (timeoutMs % kMillisecondsPerSecond) * kMicrosecondsPerMillisecond};
  const int ready = Api().select(0, &watched, nullptr, nullptr, &limit);
  if (ready == SOCKET_ERROR) return LastError();
  readable = ready > 0 && watched.fd_count > 0;
  return 0;
}

// Waits in slices, so that a shutdown from another thread ends the wait within a slice; the
// socket then counts as readable, and the read that follows reports the shutdown.
int32_t WaitSocketReadable(TSocket handle, int timeoutMs, bool& readable) {
  using Clock = std::chrono::steady_clock;
  readable = false;
  if (!Loaded()) return kNotInitialised;
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
  for (;;) {
    int slice = kWaitSliceMs;
    if (timeoutMs >= 0) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      slice = static_cast<int>(std::clamp<int64_t>(left.count(), 0, kWaitSliceMs));
    }
    if (const int32_t error = SelectReadable(handle, slice, readable); error != 0 || readable) {
      return error;
    }
    if (ShutDownSockets().Contains(Native(handle))) {
      readable = true;
      return 0;
    }
    if (timeoutMs >= 0 && Clock::now() >= deadline) return 0;
  }
}

int32_t GetSocketBytesWaiting(TSocket handle, int& count) {
  count = 0;
  if (!Loaded()) return kNotInitialised;
  u_long waiting = 0;
  if (const int32_t error = Outcome(Api().ioctlsocket(Native(handle), FIONREAD, &waiting));
      error != 0) {
    return error;
  }
  count = static_cast<int>(std::min<u_long>(waiting, kMaxBytesWaiting));
  return 0;
}

// Waits first, then reads: a receive that ran into the socket's own timeout would leave the
// Windows socket in an undefined state, so the timeout record stays unused here.
int32_t ReceiveWithin(TSocket handle, void* buffer, std::size_t length, int timeoutMs,
                      TReceiveTimeout& /*timeout*/, std::size_t& received) {
  received = 0;
  bool readable = false;
  if (const int32_t error = WaitSocketReadable(handle, timeoutMs, readable); error != 0) {
    return error;
  }
  if (!readable) return WSAETIMEDOUT;
  const int asked = static_cast<int>(std::min<std::size_t>(length, INT_MAX));
  const int result = Api().recv(Native(handle), static_cast<char*>(buffer), asked, 0);
  if (result == SOCKET_ERROR) return LastError();
  received = static_cast<std::size_t>(result);
  return 0;
}

int32_t SendToSocket(TSocket handle, const void* buffer, std::size_t length, std::size_t& sent) {
  sent = 0;
  if (!Loaded()) return kNotInitialised;
  const auto* bytes = static_cast<const char*>(buffer);
  while (sent < length) {
    const int chunk = static_cast<int>(std::min<std::size_t>(length - sent, INT_MAX));
    const int result = Api().send(Native(handle), bytes + sent, chunk, 0);
    if (result == SOCKET_ERROR) return LastError();
    sent += static_cast<std::size_t>(result);
  }
  return 0;
}

// TransmitFile would send from the file cache without a copy, but client editions of Windows run
// only two of them at a time and queue the rest; a server of many downloads reads and sends in
// large blocks instead. Each read names its offset, so the file's own position stays unused.
int32_t SendFileToSocket(TSocket handle, std::intptr_t file, int64_t offset, uint64_t length,
                         uint64_t& sent) {
  sent = 0;
  if (!Loaded()) return kNotInitialised;
  if (offset < 0) return WSAEINVAL;
  std::vector<char> block(static_cast<std::size_t>(std::min(length, kSendFileBlock)));
  while (sent < length) {
    const auto wanted = static_cast<DWORD>(std::min<uint64_t>(length - sent, block.size()));
    DWORD got = 0;
    const DWORD readError = win32::ReadAtOffset(reinterpret_cast<HANDLE>(file), block.data(),
                                                wanted, offset + static_cast<int64_t>(sent), got);
    if (readError != 0) return FileReadError(readError);
    if (got == 0) break;  // the file ends here
    std::size_t out = 0;
    const int32_t sendError = SendToSocket(handle, block.data(), got, out);
    sent += out;
    if (sendError != 0) return sendError;
  }
  return 0;
}

// getaddrinfo reports its failures in the Winsock numbering already (11001 host not found, ...).
int32_t ResolveSocketAddress(const std::optional<std::string>& node, const std::string& service,
                             TSocketFamily family, bool passive, TSocketAddress& address) {
  address = TSocketAddress{};
  if (!Loaded()) return kNotInitialised;
  addrinfo hints{};
  hints.ai_family = NativeFamily(family);
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = passive ? AI_PASSIVE : 0;
  addrinfo* found = nullptr;
  const int code =
      Api().getaddrinfo(node ? node->c_str() : nullptr, service.c_str(), &hints, &found);
  if (code != 0) return code;
  const std::size_t length = std::min<std::size_t>(found->ai_addrlen, address.Bytes.size());
  std::memcpy(address.Bytes.data(), found->ai_addr, length);
  Api().freeaddrinfo(found);
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
  if (!Loaded()) return text;
  if (const void* host = HostBytesOf(address)) {
    Api().inetNtop(NativeAddress(address)->sa_family, host, text, sizeof(text));
  }
  return text;
}

// Windows limits socket handles by memory only: every count asked for is already in force.
std::string LocalHostName() {
  // The DNS host name, which the system knows without the socket library.
  char name[MAX_COMPUTERNAME_LENGTH * 4 + 1] = {};
  DWORD size = sizeof(name);
  if (::GetComputerNameExA(ComputerNameDnsHostname, name, &size) == FALSE) {
    return {};
  }
  return std::string(name, size);
}

int64_t RaiseOpenFileLimit(int64_t wanted) {
  return wanted;
}

}  // namespace webtessl
