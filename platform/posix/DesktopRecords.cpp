#include "platform/posix/DesktopRecords.h"

#include "platform/posix/UniqueFd.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <memory>

namespace webtessl::desktop {
namespace {

constexpr std::string_view kRecordSuffix = ".window";
constexpr std::string_view kSocketSuffix = ".sock";
constexpr std::string_view kRecordMagic = "webtessl-window 1\n";
constexpr off_t kMaxRecordBytes = 64 * 1024;
// Field of /proc/<pid>/stat after the command name that holds the start time ("starttime" is
// field 22 overall; the command name is field 2).
constexpr int kStartTimeFieldAfterName = 20;
// Enough for the whole of /proc/<pid>/stat.
constexpr size_t kStatBufferBytes = 1024;

std::string Serialize(const TWindowRecord& record) {
  std::string text(kRecordMagic);
  text += std::to_string(record.handle) + ' ' + std::to_string(record.ownerPid) + ' ' +
          std::to_string(record.ownerStartTime) + ' ' + std::to_string(record.className.size()) +
          ' ' + std::to_string(record.title.size()) + '\n';
  return text + record.className + record.title;
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
      !TakeNumber(text, ' ', record.ownerStartTime) || !TakeNumber(text, ' ', classSize) ||
      !TakeNumber(text, '\n', titleSize) || classSize > text.size() ||
      titleSize != text.size() - classSize || record.handle == 0 || record.ownerPid <= 0) {
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

// Writes the record to a fresh private file in the folder and returns its path ("" on failure).
std::string WriteTemporary(const std::string& folder, const TWindowRecord& record) {
  static std::atomic<uint64_t> counter{0};
  const std::string path = folder + "/.new-" + std::to_string(::getpid()) + '-' +
                           std::to_string(counter.fetch_add(1));
  TUniqueFd file(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!file.Valid()) return {};
  if (!WriteWholeFile(file.Get(), Serialize(record))) {
    ::unlink(path.c_str());
    return {};
  }
  return path;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// This process's start time, read once per process (a forked child reads its own again).
uint64_t OwnStartTime(pid_t self) {
  thread_local pid_t cachedPid = 0;
  thread_local uint64_t cachedStartTime = 0;
  if (cachedPid != self) {
    cachedStartTime = ProcessStartTime(self);
    cachedPid = self;
  }
  return cachedStartTime;
}

bool IsAlive(const TWindowRecord& record) {
  const pid_t self = ::getpid();
  const uint64_t startTime =
      record.ownerPid == self ? OwnStartTime(self) : ProcessStartTime(record.ownerPid);
  return startTime != 0 && startTime == record.ownerStartTime;
}

// The parsed record file of the handle, alive or not; with the file's identity, so that a dead
// one can be removed without touching a newer file that took its place.
struct TRecordFile {
  TWindowRecord record;
  struct stat identity;
};

std::optional<TRecordFile> ReadRecordFile(const std::string& folder, TWindowHandle handle) {
  TUniqueFd file(::open(RecordPath(folder, handle).c_str(),
                        O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  struct stat info {};
  if (!file.Valid() || ::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode) ||
      info.st_size > kMaxRecordBytes) {
    return std::nullopt;
  }
  std::string text(static_cast<size_t>(info.st_size), '\0');
  if (::pread(file.Get(), text.data(), text.size(), 0) != static_cast<ssize_t>(text.size())) {
    return std::nullopt;
  }
  std::optional<TWindowRecord> record = Parse(text);
  if (!record || record->handle != handle) return std::nullopt;
  return TRecordFile{std::move(*record), info};
}

// The record when its owner lives; a dead owner's record is removed.
std::optional<TWindowRecord> LiveOrRemoved(const std::string& folder, TRecordFile file) {
  if (IsAlive(file.record)) return std::move(file.record);
  struct stat now {};
  const std::string path = RecordPath(folder, file.record.handle);
  if (::lstat(path.c_str(), &now) == 0 && SameFile(now, file.identity)) {
    RemoveWindowFiles(folder, file.record.handle);
  }
  return std::nullopt;
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

}  // namespace

std::string RecordPath(const std::string& folder, TWindowHandle handle) {
  return folder + '/' + std::to_string(handle) + std::string(kRecordSuffix);
}

std::string SocketPath(const std::string& folder, TWindowHandle handle) {
  return folder + '/' + std::to_string(handle) + std::string(kSocketSuffix);
}

uint64_t ProcessStartTime(pid_t pid) {
  const std::string path = "/proc/" + std::to_string(pid) + "/stat";
  TUniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  char text[kStatBufferBytes];
  const ssize_t size = file.Valid() ? ::read(file.Get(), text, sizeof text) : -1;
  if (size <= 0) return 0;
  std::string_view fields(text, static_cast<size_t>(size));
  const size_t nameEnd = fields.rfind(')');
  if (nameEnd == std::string_view::npos) return 0;
  fields.remove_prefix(nameEnd + 1);
  for (int field = 0; field < kStartTimeFieldAfterName; ++field) {
    const size_t blank = fields.find(' ');
    if (blank == std::string_view::npos) return 0;
    fields.remove_prefix(blank + 1);
  }
  uint64_t startTime = 0;
  std::from_chars(fields.data(), fields.data() + fields.size(), startTime);
  return startTime;
}

TWindowRecord OwnRecord(TWindowHandle handle, std::string className, std::string title) {
  const pid_t self = ::getpid();
  return TWindowRecord{handle, self, OwnStartTime(self), std::move(className), std::move(title)};
}

bool PublishRecord(const std::string& folder, const TWindowRecord& record) {
  const std::string temporary = WriteTemporary(folder, record);
  if (temporary.empty()) return false;
  const bool linked = ::link(temporary.c_str(), RecordPath(folder, record.handle).c_str()) == 0;
  ::unlink(temporary.c_str());
  return linked;
}

bool ReplaceRecord(const std::string& folder, const TWindowRecord& record) {
  const std::string temporary = WriteTemporary(folder, record);
  if (temporary.empty()) return false;
  if (::rename(temporary.c_str(), RecordPath(folder, record.handle).c_str()) == 0) return true;
  ::unlink(temporary.c_str());
  return false;
}

std::optional<TWindowRecord> ReadLiveRecord(const std::string& folder, TWindowHandle handle) {
  if (folder.empty() || handle == 0) return std::nullopt;
  auto file = ReadRecordFile(folder, handle);
  return file ? LiveOrRemoved(folder, std::move(*file)) : std::nullopt;
}

std::optional<TWindowRecord> FindLiveRecord(const std::string& folder, std::string_view className,
                                            std::string_view title) {
  std::optional<TWindowRecord> found;
  ForEachRecordFile(folder, [&](TRecordFile file) {
    if (file.record.className != className || file.record.title != title) return true;
    found = LiveOrRemoved(folder, std::move(file));
    return !found.has_value();
  });
  return found;
}

void RemoveStaleRecords(const std::string& folder) {
  ForEachRecordFile(folder, [&](TRecordFile file) {
    LiveOrRemoved(folder, std::move(file));
    return true;
  });
}

void RemoveWindowFiles(const std::string& folder, TWindowHandle handle) {
  ::unlink(RecordPath(folder, handle).c_str());
  ::unlink(SocketPath(folder, handle).c_str());
}

}  // namespace webtessl::desktop
