#pragma once

#include "common/Mutex.h"
#include "platform/DesktopMessages.h"
#include "platform/posix/UniqueFd.h"

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

namespace webtessl::desktop {

// A window handle is the window's identity (what names its record and its socket) in the low
// bits and a generation in the high ones. The generation starts at 0, the handle the window is
// created and found with, and each renewal moves it on; a message addressed to a generation
// other than 0 reaches the window only while that generation is its current one, so an answer
// to something sent under an earlier generation is dropped.
constexpr unsigned kGenerationShift = 22;
constexpr TWindowHandle kIdentityMask = (TWindowHandle{1} << kGenerationShift) - 1;
constexpr TWindowHandle kLastGeneration = 0x7FFFFFFF >> kGenerationShift;

constexpr TWindowHandle IdentityOf(TWindowHandle handle) {
  return handle & kIdentityMask;
}
constexpr TWindowHandle GenerationOf(TWindowHandle handle) {
  return handle >> kGenerationShift;
}

// One window of this process. The constant members never change; the listening socket, the
// connections kept open for senders' next messages, the lock on the window's record and the
// current generation are used by the owner thread only; the title and the queue of posted
// messages are guarded by the mutex, because other threads read the title and post messages.
class TLocalWindow {
 public:
  TLocalWindow(TWindowHandle handle, std::string folder, std::string className, std::string title,
               TWindowProc proc, TUniqueFd listener, TUniqueFd recordLock, TUniqueFd wake)
      : handle_(handle),
        owner_(std::this_thread::get_id()),
        folder_(std::move(folder)),
        className_(std::move(className)),
        proc_(std::move(proc)),
        listener_(std::move(listener)),
        recordLock_(std::move(recordLock)),
        wake_(std::move(wake)),
        title_(std::move(title)) {}

  // The handle the window was created with (generation 0).
  TWindowHandle Handle() const { return handle_; }
  // The handle of the current generation. Owner thread only.
  TWindowHandle CurrentHandle() const { return handle_ | (generation_ << kGenerationShift); }
  // Moves on to the next generation (after the last one comes the first after 0) and returns
  // its handle. Owner thread only.
  TWindowHandle Renew() {
    generation_ = generation_ == kLastGeneration ? 1 : generation_ + 1;
    return CurrentHandle();
  }
  // Whether a message addressed to this handle is for the window now: its first handle, or
  // that of its current generation. Owner thread only.
  bool Addressed(TWindowHandle target) const {
    return IdentityOf(target) == handle_ &&
           (GenerationOf(target) == 0 || GenerationOf(target) == generation_);
  }
  bool OwnedByCaller() const { return owner_ == std::this_thread::get_id(); }
  const std::string& Folder() const { return folder_; }
  const std::string& ClassName() const { return className_; }
  intptr_t Call(uint32_t message, uintptr_t wParam, intptr_t lParam) const {
    return proc_(message, wParam, lParam);
  }
  int ListenerFd() const { return listener_.Get(); }
  int WakeFd() const { return wake_.Get(); }
  // Holds the lock of the window's current record (the old one's goes).
  void KeepRecordLock(TUniqueFd lock) { recordLock_ = std::move(lock); }
  // Closes the listening socket and the kept connections and lets the record's lock go; the
  // files must be gone already.
  void Close() {
    listener_.Reset();
    kept_.clear();
    held_ = 0;
    recordLock_.Reset();
  }
  bool IsOpen() const { return listener_.Valid(); }

  // The window holds a bounded number of connections for its senders' next messages: those
  // kept, and those handed out by TakeKeptConnections and not yet given back. The decision to
  // keep one is made before its answer goes out, and the answer tells the sender; a connection
  // once promised is closed only when its sender hangs up, its frame is broken or the window
  // closes, never while its sender may be sending the next frame over it.

  // Whether a new connection may be kept after its exchange; when so, it counts as held.
  bool AdmitConnection() {
    if (!IsOpen() || held_ >= kMaxKeptConnections) return false;
    ++held_;
    return true;
  }
  // The connections kept open, handed over to the caller (a window procedure that pumps
  // messages itself then finds none of those being worked on). They stay held.
  std::vector<TUniqueFd> TakeKeptConnections() { return std::exchange(kept_, {}); }
  // Keeps a held connection for its sender's next message (it closes when the window has).
  void Keep(TUniqueFd connection) {
    if (IsOpen()) kept_.push_back(std::move(connection));
  }
  // A held connection closed.
  void Release() {
    if (held_ > 0) --held_;
  }
  // The descriptors of the kept connections, for waiting on them.
  std::vector<int> KeptFds() const;

  std::string Title() const {
    TMutexLock lock(mutex_);
    return title_;
  }
  void SetTitle(std::string title) {
    TMutexLock lock(mutex_);
    title_ = std::move(title);
  }

  // Queues the message and, when posted by another thread, wakes the owner's wait.
  void Post(const TMessage& msg);
  // Clears the wake-up signal after a wait that it ended.
  void DrainWake() const;
  std::optional<TMessage> Take(bool remove) {
    TMutexLock lock(mutex_);
    if (queue_.empty()) return std::nullopt;
    TMessage front = queue_.front();
    if (remove) queue_.pop_front();
    return front;
  }
  bool HasPosted() const {
    TMutexLock lock(mutex_);
    return !queue_.empty();
  }
  void DropPosted() {
    TMutexLock lock(mutex_);
    queue_.clear();
  }

 private:
  const TWindowHandle handle_;
  const std::thread::id owner_;
  const std::string folder_;
  const std::string className_;
  const TWindowProc proc_;
  static constexpr size_t kMaxKeptConnections = 16;

  TUniqueFd listener_;
  std::vector<TUniqueFd> kept_;
  size_t held_ = 0;
  TUniqueFd recordLock_;
  TWindowHandle generation_ = 0;
  const TUniqueFd wake_;
  mutable TMutex mutex_;
  std::string title_ GUARDED_BY(mutex_);
  std::deque<TMessage> queue_ GUARDED_BY(mutex_);
};

using TWindowPtr = std::shared_ptr<TLocalWindow>;

// The windows of this process by handle; a handle of any generation finds its window.
// Thread-safe.
class TWindowTable {
 public:
  void Add(TWindowPtr window) {
    TWriterLock lock(mutex_);
    windows_[window->Handle()] = std::move(window);
  }
  void Remove(TWindowHandle handle) {
    TWriterLock lock(mutex_);
    windows_.erase(IdentityOf(handle));
  }
  // Every message a search exchanges looks windows up several times, from every connection
  // thread at once: lookups share the table, only opening and closing a window take it alone.
  TWindowPtr Find(TWindowHandle handle) const {
    TReaderLock lock(mutex_);
    const auto found = windows_.find(IdentityOf(handle));
    return found == windows_.end() ? nullptr : found->second;
  }
  // The calling thread's windows: all of them for handle 0, else that one if it is the caller's.
  std::vector<TWindowPtr> OwnedByCaller(TWindowHandle handle) const {
    std::vector<TWindowPtr> owned;
    if (handle != 0) {
      if (TWindowPtr window = Find(handle); window && window->OwnedByCaller()) {
        owned.push_back(std::move(window));
      }
      return owned;
    }
    TReaderLock lock(mutex_);
    for (const auto& [key, window] : windows_) {
      if (window->OwnedByCaller()) owned.push_back(window);
    }
    return owned;
  }

 private:
  mutable TSharedMutex mutex_;
  std::unordered_map<TWindowHandle, TWindowPtr> windows_ GUARDED_BY(mutex_);
};

// The one table of this process.
TWindowTable& Windows();

// The window when it belongs to the calling thread, else null.
TWindowPtr CallersWindow(TWindowHandle handle);

}  // namespace webtessl::desktop
