#include "platform/DesktopMessages.h"

#include "platform/posix/DesktopConnections.h"
#include "platform/posix/DesktopRecords.h"
#include "platform/posix/DesktopWindows.h"
#include "platform/posix/DesktopWire.h"
#include "platform/posix/UniqueFd.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <thread>
#include <utility>
#include <vector>

namespace webtessl {
namespace {

using desktop::CallersWindow;
using desktop::TDeadline;
using desktop::TLocalWindow;
using desktop::TWindowPtr;
using desktop::Windows;

// How long a receiver waits for a frame that has begun to arrive whole, and for its answer to
// leave: a sender that stalls or dies mid-frame costs the receiver at most this.
constexpr uint32_t kReceiveLimitMs = 1000;
constexpr int kCreateAttempts = 64;
constexpr auto kBacklogRetryPause = std::chrono::milliseconds(1);
// Frames above this size get a wider send buffer, of at most kWideSendBufferBytes.
constexpr uint32_t kWideSendThreshold = 128 * 1024;
constexpr size_t kWideSendBufferBytes = 4 * 1024 * 1024;
// Largest receive buffer a thread keeps for the next message.
constexpr size_t kKeptBufferBytes = 1024 * 1024;
// What the first read of a frame takes at most: the header and a payload of ordinary size.
constexpr size_t kFirstReadBytes = 64 * 1024;

// A new window's handle: an identity at random, generation 0.
TWindowHandle NewHandle() {
  thread_local std::mt19937 engine{std::random_device{}()};
  return std::uniform_int_distribution<TWindowHandle>(1, desktop::kIdentityMask)(engine);
}

std::optional<sockaddr_un> SocketAddress(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof(address.sun_path)) return std::nullopt;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return address;
}

TUniqueFd NewSocket() {
  return TUniqueFd(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
}

// A listening socket at the path; invalid with errno set when that fails.
TUniqueFd Listen(const std::string& path) {
  const auto address = SocketAddress(path);
  if (!address) {
    errno = ENAMETOOLONG;
    return {};
  }
  TUniqueFd listener = NewSocket();
  if (!listener.Valid() ||
      ::bind(listener.Get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0 ||
      ::listen(listener.Get(), SOMAXCONN) != 0) {
    return {};
  }
  return listener;
}

// Whether the other end of the connection runs as this user.
bool FromSameUser(int connection) {
  static const uid_t ownUser = ::geteuid();
  ucred credentials{};
  socklen_t size = sizeof credentials;
  return ::getsockopt(connection, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0 &&
         credentials.uid == ownUser;
}

// Whether the path names a socket of this user itself, not a link to one.
bool IsOwnSocket(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode) &&
         info.st_uid == ::geteuid();
}

// A connection to the window's socket, made only when the socket is this user's and its listener
// runs as this user, so that no frame goes to anyone else; a full backlog is retried until the
// deadline.
TUniqueFd Connect(const std::string& path, const TDeadline& deadline) {
  const auto address = SocketAddress(path);
  if (!address || !IsOwnSocket(path)) return {};
  TUniqueFd connection = NewSocket();
  if (!connection.Valid()) return {};
  for (;;) {
    if (::connect(connection.Get(), reinterpret_cast<const sockaddr*>(&*address),
                  sizeof *address) == 0) {
      return FromSameUser(connection.Get()) ? std::move(connection) : TUniqueFd();
    }
    if ((errno != EAGAIN && errno != EINTR) || deadline.RemainingMs() == 0) return {};
    std::this_thread::sleep_for(kBacklogRetryPause);
  }
}

// Lets a large frame go out in a few large pieces rather than many small ones, each of which
// would need the receiver to run in between (the system may grant less than asked).
void WidenSendBuffer(int connection, uint32_t payloadBytes) {
  if (payloadBytes <= kWideSendThreshold) return;
  const int size = static_cast<int>(std::min<size_t>(payloadBytes, kWideSendBufferBytes));
  ::setsockopt(connection, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
}

// The bytes of a frame being received, left uninitialised since the frame overwrites them. The
// thread's buffer is borrowed and given back, so that messages of ordinary size cost no
// allocation; a window procedure that pumps messages itself finds the buffer taken and gets a
// fresh one.
class TReceiveBuffer {
 public:
  explicit TReceiveBuffer(size_t size) : storage_(TakeSpare()) {
    if (storage_.capacity < size) storage_ = TStorage::Of(size);
  }
  ~TReceiveBuffer() {
    if (storage_.capacity <= kKeptBufferBytes) spare_ = std::move(storage_);
  }
  TReceiveBuffer(const TReceiveBuffer&) = delete;
  TReceiveBuffer& operator=(const TReceiveBuffer&) = delete;

  uint8_t* Data() const { return storage_.bytes.get(); }
  size_t Capacity() const { return storage_.capacity; }
  // Makes room for `size` bytes, keeping the first `kept` of those held.
  void Widen(size_t size, size_t kept) {
    if (storage_.capacity >= size) return;
    TStorage wider = TStorage::Of(size);
    std::memcpy(wider.bytes.get(), storage_.bytes.get(), kept);
    storage_ = std::move(wider);
  }

 private:
  struct TStorage {
    std::unique_ptr<uint8_t[]> bytes;
    size_t capacity = 0;
    static TStorage Of(size_t size) {
      return TStorage{std::make_unique_for_overwrite<uint8_t[]>(size), size};
    }
  };
  static TStorage TakeSpare() {
    return TStorage{std::move(spare_.bytes), std::exchange(spare_.capacity, 0)};
  }

  TStorage storage_;
  static thread_local TStorage spare_;
};
thread_local TReceiveBuffer::TStorage TReceiveBuffer::spare_;

// Reads one frame from the connection, lets the window handle it and answers with its result,
// saying whether the connection is kept (`keep`); true when the exchange completed. A frame that
// is foreign or cut short is dropped unhandled, and so is one whose sender has hung up by the
// time it is read (`checkHangUp`; the caller may have seen that already). A frame addressed to
// a generation of the window that has passed is answered with 0 and not handed to the window.
// A sender writes its frame at once and nothing after it before the answer, so one read
// usually takes the whole frame; bytes beyond it break the exchange.
bool HandleOneSent(const TLocalWindow& window, int connection, bool checkHangUp, bool keep) {
  const TDeadline deadline(kReceiveLimitMs);
  TReceiveBuffer buffer(kFirstReadBytes);
  desktop::TFrameHeader header;
  size_t received = desktop::ReceiveSome(connection, buffer.Data(), buffer.Capacity(), deadline);
  if (received == 0 ||
      (received < sizeof header && !desktop::ReceiveAll(connection, buffer.Data() + received,
                                                         sizeof header - received, deadline))) {
    return false;
  }
  received = std::max(received, sizeof header);
  std::memcpy(&header, buffer.Data(), sizeof header);
  if (header.magic != desktop::kFrameMagic || header.message != WM_COPYDATA ||
      header.cbData > kMaxCopyDataBytes) {
    return false;
  }
  const size_t frameBytes = sizeof header + header.cbData;
  if (received > frameBytes) return false;
  buffer.Widen(frameBytes, received);
  if (!desktop::ReceiveAll(connection, buffer.Data() + received, frameBytes - received,
                           deadline) ||
      (checkHangUp && desktop::PeerHungUp(connection))) {
    return false;
  }
  const TCopyDataStruct data{static_cast<uintptr_t>(header.dwData), header.cbData,
                             header.cbData == 0 ? nullptr : buffer.Data() + sizeof header};
  desktop::TFrameResult reply{
      window.Addressed(header.target)
          ? window.Call(WM_COPYDATA, header.wParam, reinterpret_cast<intptr_t>(&data))
          : 0};
  // A window closed by its own procedure keeps nothing.
  reply.kept = keep && window.IsOpen() ? 1 : 0;
  return desktop::SendAll(connection, &reply, sizeof reply, TDeadline(kReceiveLimitMs));
}

// Handles the frames of senders that connected since the last look, until none is pending or
// the window closes; a connection is kept for its sender's next message while the window holds
// fewer than its limit.
void AcceptNewConnections(TLocalWindow& window) {
  while (window.IsOpen()) {
    TUniqueFd connection(
        ::accept4(window.ListenerFd(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (!connection.Valid()) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return;
    }
    if (!FromSameUser(connection.Get())) continue;
    const bool keep = window.AdmitConnection();
    const bool completed = HandleOneSent(window, connection.Get(), true, keep);
    if (!keep) continue;
    if (completed) {
      window.Keep(std::move(connection));
    } else {
      window.Release();
    }
  }
}

// Handles every message sent to the window so far: the frames waiting on the connections kept
// from earlier exchanges, then those of new senders, all looked at with one poll. A kept
// connection whose sender has gone or given up (a frame it left is not delivered), or whose
// frame is broken, closes.
void HandleSentMessages(TLocalWindow& window) {
  if (!window.IsOpen()) return;
  std::vector<TUniqueFd> connections = window.TakeKeptConnections();
  std::vector<pollfd> watched;
  watched.reserve(connections.size() + 1);
  for (const TUniqueFd& each : connections) {
    watched.push_back(pollfd{each.Get(), POLLIN | POLLRDHUP, 0});
  }
  watched.push_back(pollfd{window.ListenerFd(), POLLIN, 0});
  int ready = 0;
  do {
    ready = ::poll(watched.data(), watched.size(), 0);
  } while (ready < 0 && errno == EINTR);
  constexpr short kGone = POLLRDHUP | POLLHUP | POLLERR | POLLNVAL;
  for (size_t i = 0; i < connections.size(); ++i) {
    const short events = ready > 0 ? watched[i].revents : 0;
    if (events == 0 ||
        ((events & kGone) == 0 && HandleOneSent(window, connections[i].Get(), false, true))) {
      window.Keep(std::move(connections[i]));
    } else {
      window.Release();
    }
  }
  if (ready < 0 || watched.back().revents != 0) AcceptNewConnections(window);
}

// How one exchange over one connection ended.
enum class TExchange { Answered, Unread, Failed };

// Sends the frame over the connection and waits for the answer. Unread: the receiver had closed
// the connection without reading the frame (only a kept connection can end so).
TExchange Exchange(int connection, const desktop::TFrameHeader& header,
                   const TCopyDataStruct& data, const TDeadline& deadline,
                   desktop::TFrameResult& reply) {
  WidenSendBuffer(connection, data.cbData);
  switch (desktop::SendFrame(connection, header, data.lpData, data.cbData, deadline)) {
    case desktop::TSendOutcome::Sent:
      break;
    case desktop::TSendOutcome::Refused:
      return TExchange::Unread;
    case desktop::TSendOutcome::Failed:
      return TExchange::Failed;
  }
  switch (desktop::ReceiveReply(connection, reply, deadline)) {
    case desktop::TReplyOutcome::Received:
      return TExchange::Answered;
    case desktop::TReplyOutcome::Unanswered:
      return TExchange::Unread;
    case desktop::TReplyOutcome::Failed:
      break;
  }
  return TExchange::Failed;
}

// Exchanges the frame over a connection kept from an earlier exchange with the window when there
// is one, else over a new connection; returns the connection that carried the answer (invalid on
// failure). A frame the receiver never read (it had closed the kept connection, its window going
// or gone) goes out once more over a new connection, which then reaches the window if it lives.
TUniqueFd ExchangeWithWindow(const std::string& path, const desktop::TFrameHeader& header,
                             const TCopyDataStruct& data, const TDeadline& deadline,
                             desktop::TFrameResult& reply) {
  if (TUniqueFd kept = desktop::IdleConnections().Take(path); kept.Valid()) {
    switch (Exchange(kept.Get(), header, data, deadline, reply)) {
      case TExchange::Answered:
        return kept;
      case TExchange::Failed:
        return {};
      case TExchange::Unread:
        break;
    }
  }
  TUniqueFd fresh = Connect(path, deadline);
  if (!fresh.Valid() || Exchange(fresh.Get(), header, data, deadline, reply) != TExchange::Answered) {
    return {};
  }
  return fresh;
}

// Publishes a new window at a free handle of the folder; 0 when that cannot be done.
TWindowHandle Publish(const std::string& folder, std::string_view className, std::string_view title,
                      TWindowProc proc) {
  for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
    const TWindowHandle handle = NewHandle();
    const std::string socketPath = desktop::SocketPath(folder, handle);
    TUniqueFd listener = Listen(socketPath);
    if (!listener.Valid()) {
      if (errno == EADDRINUSE) continue;
      return 0;
    }
    TUniqueFd wake(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!wake.Valid()) {
      ::unlink(socketPath.c_str());
      return 0;
    }
    TUniqueFd recordLock = desktop::PublishRecord(folder, handle, className, title);
    if (!recordLock.Valid()) {
      ::unlink(socketPath.c_str());
      continue;
    }
    Windows().Add(std::make_shared<TLocalWindow>(
        handle, folder, std::string(className), std::string(title), std::move(proc),
        std::move(listener), std::move(recordLock), std::move(wake)));
    return handle;
  }
  return 0;
}

}  // namespace

TWindowHandle CreateWindow(std::string_view className, std::string_view title, TWindowProc proc) {
  const std::string folder = DesktopFolder();
  if (folder.empty() || !proc) return 0;
  desktop::RemoveStaleRecords(folder);  // so that dead windows never pile up
  return Publish(folder, className, title, std::move(proc));
}

bool DestroyWindow(TWindowHandle window) {
  const TWindowPtr local = CallersWindow(window);
  if (!local) return false;
  Windows().Remove(window);
  desktop::RemoveWindowFiles(local->Folder(), local->Handle());
  local->Close();
  local->DropPosted();
  return true;
}

TWindowHandle FindWindow(std::string_view className, std::string_view title) {
  const auto record = desktop::FindLiveRecord(desktop::KnownDesktopFolder(), className, title);
  return record ? record->handle : 0;
}

// Whether, what and how a window is does not depend on its generation: these look only at its
// identity.
bool IsWindow(TWindowHandle window) {
  return Windows().Find(window) != nullptr ||
         desktop::ReadLiveRecord(desktop::KnownDesktopFolder(), desktop::IdentityOf(window))
             .has_value();
}

std::string GetWindowText(TWindowHandle window) {
  if (const TWindowPtr local = Windows().Find(window)) return local->Title();
  const auto record =
      desktop::ReadLiveRecord(desktop::KnownDesktopFolder(), desktop::IdentityOf(window));
  return record ? record->title : std::string();
}

std::string GetClassName(TWindowHandle window) {
  if (const TWindowPtr local = Windows().Find(window)) return local->ClassName();
  const auto record =
      desktop::ReadLiveRecord(desktop::KnownDesktopFolder(), desktop::IdentityOf(window));
  return record ? record->className : std::string();
}

bool SetWindowText(TWindowHandle window, std::string_view title) {
  const TWindowPtr local = CallersWindow(window);
  if (!local) return false;
  TUniqueFd recordLock =
      desktop::ReplaceRecord(local->Folder(), local->Handle(), local->ClassName(), title);
  if (!recordLock.Valid()) return false;
  local->KeepRecordLock(std::move(recordLock));
  local->SetTitle(std::string(title));
  return true;
}

bool SendMessageTimeout(TWindowHandle window, uint32_t message, TWindowHandle wParam,
                        const TCopyDataStruct& data, uint32_t timeoutMs, intptr_t& result) {
  if (message != WM_COPYDATA || window == 0 || data.cbData > kMaxCopyDataBytes ||
      (data.cbData > 0 && data.lpData == nullptr)) {
    return false;
  }
  if (const TWindowPtr own = CallersWindow(window)) {
    result = own->Addressed(window) ? own->Call(message, wParam, reinterpret_cast<intptr_t>(&data))
                                    : 0;
    return true;
  }
  const std::string folder = desktop::KnownDesktopFolder();
  if (folder.empty()) return false;
  const TDeadline deadline(timeoutMs);
  const std::string path = desktop::SocketPath(folder, desktop::IdentityOf(window));
  const desktop::TFrameHeader header{desktop::kFrameMagic, message, wParam, data.cbData,
                                     data.dwData, window};
  desktop::TFrameResult reply;
  TUniqueFd connection = ExchangeWithWindow(path, header, data, deadline, reply);
  if (!connection.Valid() || deadline.RemainingMs() == 0) {
    return false;  // an answer that comes only as the limit runs out is a time-out too
  }
  if (reply.kept == 1) desktop::IdleConnections().Give(path, std::move(connection));
  result = static_cast<intptr_t>(reply.result);
  return true;
}

TWindowHandle RenewWindowHandle(TWindowHandle window) {
  const TWindowPtr local = CallersWindow(window);
  return local ? local->Renew() : 0;
}

bool PostMessage(TWindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  const TWindowPtr local = Windows().Find(window);
  if (!local) return false;
  local->Post(TMessage{window, message, wParam, lParam});
  return true;
}

bool PeekMessage(TMessage& msg, TWindowHandle window, uint32_t removeFlag) {
  const std::vector<TWindowPtr> windows = Windows().OwnedByCaller(window);
  for (const auto& each : windows) HandleSentMessages(*each);
  for (const auto& each : windows) {
    if (auto taken = each->Take(removeFlag == PM_REMOVE)) {
      msg = *taken;
      return true;
    }
  }
  return false;
}

intptr_t DispatchMessage(const TMessage& msg) {
  const TWindowPtr local = CallersWindow(msg.window);
  return local ? local->Call(msg.message, msg.wParam, msg.lParam) : 0;
}

bool WaitMessageTimeout(TWindowHandle window, uint32_t timeoutMs) {
  const std::vector<TWindowPtr> windows = Windows().OwnedByCaller(window);
  std::vector<pollfd> watched;
  for (const auto& each : windows) {
    if (each->HasPosted()) return true;
    watched.push_back(pollfd{each->WakeFd(), POLLIN, 0});  // at the window's index
  }
  for (const auto& each : windows) {
    if (each->IsOpen()) watched.push_back(pollfd{each->ListenerFd(), POLLIN, 0});
    for (const int kept : each->KeptFds()) watched.push_back(pollfd{kept, POLLIN, 0});
  }
  if (watched.empty()) return false;
  const TDeadline deadline(timeoutMs);
  int ready = 0;
  do {
    ready = ::poll(watched.data(), watched.size(),
                   timeoutMs == kInfiniteWait ? -1 : deadline.RemainingMs());
  } while (ready < 0 && errno == EINTR);
  for (size_t i = 0; i < windows.size(); ++i) {
    if (watched[i].revents != 0) windows[i]->DrainWake();
  }
  return ready > 0;
}

}  // namespace webtessl
