#include "tessel/FolderWatch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/posix/Interrupted.h"
#include "platform/posix/UniqueFd.h"

namespace webtessl {
namespace {

// Writes are seen both as they happen and when the writer closes the file, so a file that is
// written for a long time shows its growth too.
constexpr uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MODIFY |
                                IN_CLOSE_WRITE | IN_ATTRIB | IN_ONLYDIR | IN_DONT_FOLLOW |
                                IN_EXCL_UNLINK;
constexpr size_t kReadBufferBytes = 64 * 1024;

TFolderEvent::TKind KindOf(uint32_t mask) {
  using TKind = TFolderEvent::TKind;
  if (mask & IN_Q_OVERFLOW) return TKind::Overflow;
  if (mask & IN_IGNORED) return TKind::WatchGone;
  if (mask & IN_MOVED_FROM) return TKind::MovedFrom;
  if (mask & IN_MOVED_TO) return TKind::MovedTo;
  if (mask & IN_DELETE) return TKind::Removed;
  if (mask & (IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB)) return TKind::Changed;
  return TKind::Created;
}

}  // namespace

struct TFolderWatch::TImpl {
  TUniqueFd fd{::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)};
};

TFolderWatch::TFolderWatch() : impl_(std::make_unique<TImpl>()) {}

TFolderWatch::~TFolderWatch() = default;

bool TFolderWatch::Usable() const { return impl_->fd.Valid(); }

int TFolderWatch::Fd() const { return impl_->fd.Get(); }

TFolderWatch::TAddResult TFolderWatch::Add(const std::string& path, int& watch) {
  if (!Usable()) return TAddResult::Failed;
  watch = ::inotify_add_watch(Fd(), path.c_str(), kWatchMask);
  if (watch >= 0) return TAddResult::Added;
  return errno == ENOSPC ? TAddResult::LimitReached : TAddResult::Failed;
}

void TFolderWatch::Remove(int watch) {
  if (Usable()) ::inotify_rm_watch(Fd(), watch);
}

void TFolderWatch::ReadEvents(const std::function<void(const TFolderEvent&)>& onEvent) {
  alignas(inotify_event) char buffer[kReadBufferBytes];
  for (;;) {
    const ssize_t got = RetryInterrupted([&] { return ::read(Fd(), buffer, sizeof buffer); });
    if (got <= 0) return;
    for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= got;) {
      inotify_event header;
      std::memcpy(&header, buffer + at, sizeof header);
      const char* name = buffer + at + sizeof header;
      TFolderEvent event;
      event.kind = KindOf(header.mask);
      event.watch = header.wd;
      event.name = header.len > 0 ? std::string_view(name, ::strnlen(name, header.len)) : "";
      event.isDirectory = header.mask & IN_ISDIR;
      event.cookie = header.cookie;
      onEvent(event);
      at += static_cast<ssize_t>(sizeof header + header.len);
    }
  }
}

}  // namespace webtessl
