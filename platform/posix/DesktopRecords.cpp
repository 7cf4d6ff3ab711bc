#include "platform/posix/DesktopRecords.h"

#include "platform/posix/UniqueFd.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <fstream>
#include <memory>
#include <sstream>

namespace webtessl::desktop {
namespace {

constexpr std::string_view kRecordSuffix = ".window";
constexpr std::string_view kSocketSuffix = ".sock";
constexpr std::string_view kRecordMagic = "webtessl-window 1\n";
constexpr off_t kMaxRecordBytes = 64 * 1024;
// Field of /proc/<pid>/stat after the command name that holds the start time ("starttime" is
// field 22 overall; the command name is field 2).
constexpr int kStartTimeFieldAfterName = 20;

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

bool IsAlive(const TWindowRecord& record) {
  const uint64_t startTime = ProcessStartTime(record.ownerPid);
  return startTime != 0 && startTime == record.ownerStartTime;
}

// Reads the record file; when its owner is dead, removes it (only if the path still names the
// very file that was read, so a new window that took the handle meanwhile is left alone).
std::optional<TWindowRecord> ReadLiveRecordAt(const std::string& folder, TWindowHandle handle) {
  const std::string path = RecordPath(folder, handle);
  TUniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
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
  if (IsAlive(*record)) return record;
  struct stat now {};
  if (::lstat(path.c_str(), &now) == 0 && SameFile(now, info)) RemoveWindowFiles(folder, handle);
  return std::nullopt;
}

}  // namespace

std::string RecordPath(const std::string& folder, TWindowHandle handle) {
  return folder + '/' + std::to_string(handle) + std::string(kRecordSuffix);
}

std::string SocketPath(const std::string& folder, TWindowHandle handle) {
  return folder + '/' + std::to_string(handle) + std::string(kSocketSuffix);
}

uint64_t ProcessStartTime(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::stringstream buffer;
  buffer << stat.rdbuf();
  const std::string text = buffer.str();
  const size_t nameEnd = text.rfind(')');
  if (nameEnd == std::string::npos) return 0;
  std::istringstream fields(text.substr(nameEnd + 1));
  std::string field;
  for (int i = 1; i < kStartTimeFieldAfterName && fields >> field; ++i) {
  }
  uint64_t startTime = 0;
  return (fields >> startTime) ? startTime : 0;
}

TWindowRecord OwnRecord(TWindowHandle handle, std::string className, std::string title) {
  // Read every time rather than cached: a forked child is another process with the same code.
  const pid_t self = ::getpid();
  return TWindowRecord{handle, self, ProcessStartTime(self), std::move(className),
                       std::move(title)};
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
  return ReadLiveRecordAt(folder, handle);
}

std::vector<TWindowRecord> LiveRecords(const std::string& folder) {
  std::vector<TWindowRecord> records;
  if (folder.empty()) return records;
  std::unique_ptr<DIR, int (*)(DIR*)> directory(::opendir(folder.c_str()), ::closedir);
  if (!directory) return records;
  while (const dirent* entry = ::readdir(directory.get())) {
    std::string_view name(entry->d_name);
    if (!name.ends_with(kRecordSuffix)) continue;
    name.remove_suffix(kRecordSuffix.size());
    TWindowHandle handle = 0;
    const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), handle);
    if (error != std::errc() || end != name.data() + name.size()) continue;
    if (auto record = ReadLiveRecordAt(folder, handle)) records.push_back(std::move(*record));
  }
  return records;
}

void RemoveWindowFiles(const std::string& folder, TWindowHandle handle) {
  ::unlink(RecordPath(folder, handle).c_str());
  ::unlink(SocketPath(folder, handle).c_str());
}

}  // namespace webtessl::desktop
