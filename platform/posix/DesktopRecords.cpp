#include "platform/posix/DesktopRecords.h"

#include "common/Mutex.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <memory>
#include <unordered_map>

namespace webtessl::desktop {
namespace {

constexpr std::string_view kRecordSuffix = ".window";
constexpr std::string_view kSocketSuffix = ".sock";
constexpr std::string_view kRecordMagic = "webtessl-window 2\n";
constexpr size_t kMaxRecordBytes = 64 * 1024;
constexpr size_t kReadChunkBytes = 1024;

std::string Serialize(TWindowHandle handle, std::string_view className, std::string_view title) {
  std::string text(kRecordMagic);
  text += std::to_string(handle) + ' ' + std::to_string(::getpid()) + ' ' +
          std::to_string(className.size()) + ' ' + std::to_string(title.size()) + '\n';
  return text.append(className).append(title);
}

// Reads one unsigned decimal number and the separator after it; false on anything else.
template <typename Number>
bool TakeNumber(std::string_view& text, char separator, Number& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end == text.data() + text.size() || *end != separator) return false;
  text.remove_prefix(static_cast<size_t>(end - text.data()) + 1);
  return true;
}

std::optional<TWindowRecord> Parse(std::string_view text) {
  if (!text.starts_with(kRecordMagic)) return std::nullopt;
  text.remove_prefix(kRecordMagic.size());
  TWindowRecord record;
  size_t classSize = 0;
  size_t titleSize = 0;
  if (!TakeNumber(text, ' ', record.handle) || !TakeNumber(text, ' ', record.ownerPid) ||
      !TakeNumber(text, ' ', classSize) || !TakeNumber(text, '\n', titleSize) ||
      classSize > text.size() || titleSize != text.size() - classSize || record.handle == 0) {
    return std::nullopt;
  }
  record.className = text.substr(0, classSize);
  record.title = text.substr(classSize);
  return record;
}

bool WriteWholeFile(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

// A record written to a fresh private file of the folder, already locked for its window.
struct TNewRecord {
  std::string path;
  TUniqueFd lock;
};

std::optional<TNewRecord> WriteTemporary(const std::string& folder, std::string_view text) {
  static std::atomic<uint64_t> counter{0};
  TNewRecord record{
      folder + "/.new-" + std::to_string(::getpid()) + '-' + std::to_string(counter.fetch_add(1)),
      {}};
  record.lock.Reset(
      ::open(record.path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!record.lock.Valid()) return std::nullopt;
  if (::flock(record.lock.Get(), LOCK_EX | LOCK_NB) != 0 ||
      !WriteWholeFile(record.lock.Get(), text)) {
    ::unlink(record.path.c_str());
    return std::nullopt;
  }
  return record;
}

// The whole content of a small file; nothing when it is not readable or too large.
std::optional<std::string> ReadSmallFile(int fd) {
  std::string text;
  char chunk[kReadChunkBytes];
  for (;;) {
    const ssize_t got = ::pread(fd, chunk, sizeof chunk, static_cast<off_t>(text.size()));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return std::nullopt;
    text.append(chunk, static_cast<size_t>(got));
    if (text.size() > kMaxRecordBytes) return std::nullopt;
    if (static_cast<size_t>(got) < sizeof chunk) return text;  // a short read is the end
  }
}

// Only a regular file of this user is a record: nobody else can publish a window here.
bool OwnRegularFile(int fd) {
  struct stat info {};
  return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid();
}

// A record file as read, still open: its lock tells whether its window lives.
struct TRecordFile {
  TWindowRecord record;
  TUniqueFd file;
};

std::optional<TRecordFile> ReadRecordFile(const std::string& folder, TWindowHandle handle) {
  TUniqueFd file(
      ::open(RecordPath(folder, handle).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  if (!file.Valid() || !OwnRegularFile(file.Get())) return std::nullopt;
  const std::optional<std::string> text = ReadSmallFile(file.Get());
  std::optional<TWindowRecord> record = text ? Parse(*text) : std::nullopt;
  if (!record || record->handle != handle) return std::nullopt;
  return TRecordFile{std::move(*record), std::move(file)};
}

// The window lives while its owner holds the exclusive lock. A shared lock that is granted here
// is let go when the file is closed.
bool IsAlive(const TRecordFile& file) {
  return ::flock(file.file.Get(), LOCK_SH | LOCK_NB) != 0;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether the window lives; a stale record is removed, but only if its path still names the very
// file that was read, so a new window that took the handle is left alone.
bool LiveOrRemoved(const std::string& folder, const TRecordFile& file) {
  if (IsAlive(file)) return true;
  struct stat read {};
  struct stat now {};
  if (::fstat(file.file.Get(), &read) == 0 &&
      ::lstat(RecordPath(folder, file.record.handle).c_str(), &now) == 0 && SameFile(now, read)) {
    RemoveWindowFiles(folder, file.record.handle);
  }
  return false;
}

// Calls `visit` with every record file in the folder until it returns false; foreign files
// and damaged records are passed over.
template <typename Visitor>
void ForEachRecordFile(const std::string& folder, Visitor visit) {
  if (folder.empty()) return;
  std::unique_ptr<DIR, int (*)(DIR*)> directory(::opendir(folder.c_str()), ::closedir);
  if (!directory) return;
  while (const dirent* entry = ::readdir(directory.get())) {
    std::string_view name(entry->d_name);
    if (!name.ends_with(kRecordSuffix)) continue;
    name.remove_suffix(kRecordSuffix.size());
    TWindowHandle handle = 0;
    const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), handle);
    if (error != std::errc() || end != name.data() + name.size()) continue;
    if (auto file = ReadRecordFile(folder, handle); file && !visit(std::move(*file))) return;
  }
}

// Bounded map from a key to what was last found for it, dropped whole when full. Thread-safe.
template <typename Value>
class TBoundedCache {
 public:
  std::optional<Value> Get(const std::string& key) const {
    TMutexLock lock(mutex_);
    const auto found = values_.find(key);
    return found == values_.end() ? std::nullopt : std::optional<Value>(found->second);
  }
  void Put(const std::string& key, Value value) {
    TMutexLock lock(mutex_);
    if (values_.size() >= kMaxEntries && !values_.contains(key)) values_.clear();
    values_.insert_or_assign(key, std::move(value));
  }
  void Erase(const std::string& key) {
    TMutexLock lock(mutex_);
    values_.erase(key);
  }

 private:
  static constexpr size_t kMaxEntries = 64;
  mutable TMutex mutex_;
  std::unordered_map<std::string, Value> values_ GUARDED_BY(mutex_);
};

// The window last found for each class and title, so that finding the same window again reads
// only its own record instead of the whole folder (it is still checked to be alive and to match;
// when it is not, the folder is searched).
TBoundedCache<TWindowHandle>& FoundWindows() {
  static TBoundedCache<TWindowHandle> cache;
  return cache;
}

// Records of live windows, by record path, each with its file kept open. An owner keeps the lock
// on its current record file and lets it go only after replacing or removing that file, so while
// the lock is still held the record read from it is the window's current one: looking a window
// up again costs one lock test instead of opening, reading and parsing its file.
using TSharedRecordFile = std::shared_ptr<const TRecordFile>;
TBoundedCache<TSharedRecordFile>& LiveRecords() {
  static TBoundedCache<TSharedRecordFile> cache;
  return cache;
}

}  // namespace

std::string RecordPath(const std::string& folder, TWindowHandle handle) {
  return folder + '/' + std::to_string(handle) + std::string(kRecordSuffix);
}

std::string SocketPath(const std::string& folder, TWindowHandle handle) {
  return folder + '/' + std::to_string(handle) + std::string(kSocketSuffix);
}

TUniqueFd PublishRecord(const std::string& folder, TWindowHandle handle, std::string_view className,
                        std::string_view title) {
  std::optional<TNewRecord> record = WriteTemporary(folder, Serialize(handle, className, title));
  if (!record) return {};
  const bool linked = ::link(record->path.c_str(), RecordPath(folder, handle).c_str()) == 0;
  ::unlink(record->path.c_str());
  return linked ? std::move(record->lock) : TUniqueFd();
}

TUniqueFd ReplaceRecord(const std::string& folder, TWindowHandle handle, std::string_view className,
                        std::string_view title) {
  std::optional<TNewRecord> record = WriteTemporary(folder, Serialize(handle, className, title));
  if (!record) return {};
  if (::rename(record->path.c_str(), RecordPath(folder, handle).c_str()) == 0) {
    return std::move(record->lock);
  }
  ::unlink(record->path.c_str());
  return {};
}

std::optional<TWindowRecord> ReadLiveRecord(const std::string& folder, TWindowHandle handle) {
  if (folder.empty() || handle == 0) return std::nullopt;
  const std::string path = RecordPath(folder, handle);
  if (const auto cached = LiveRecords().Get(path)) {
    if (IsAlive(**cached)) return (*cached)->record;
    LiveRecords().Erase(path);  // the window is gone or has a new record: read the file again
  }
  auto file = ReadRecordFile(folder, handle);
  if (!file || !LiveOrRemoved(folder, *file)) return std::nullopt;
  auto shared = std::make_shared<const TRecordFile>(std::move(*file));
  LiveRecords().Put(path, shared);
  return shared->record;
}

std::optional<TWindowRecord> FindLiveRecord(const std::string& folder, std::string_view className,
                                            std::string_view title) {
  const std::string key = folder + '\0' + std::string(className) + '\0' + std::string(title);
  if (const auto known = FoundWindows().Get(key)) {
    auto record = ReadLiveRecord(folder, *known);
    if (record && record->className == className && record->title == title) return record;
  }
  std::optional<TWindowRecord> found;
  ForEachRecordFile(folder, [&](TRecordFile file) {
    if (file.record.className != className || file.record.title != title) return true;
    if (LiveOrRemoved(folder, file)) found = std::move(file.record);
    return !found.has_value();
  });
  if (found) {
    FoundWindows().Put(key, found->handle);
  } else {
    FoundWindows().Erase(key);
  }
  return found;
}

void RemoveStaleRecords(const std::string& folder) {
  ForEachRecordFile(folder, [&](const TRecordFile& file) {
    LiveOrRemoved(folder, file);
    return true;
  });
}

void RemoveWindowFiles(const std::string& folder, TWindowHandle handle) {
  ::unlink(RecordPath(folder, handle).c_str());
  ::unlink(SocketPath(folder, handle).c_str());
}

}  // namespace webtessl::desktop
