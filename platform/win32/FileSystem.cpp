// Win32 backend of platform/FileSystem.h: file attributes and directory search.

#include "platform/FileSystem.h"

#include "platform/win32/WinApi.h"

#include <algorithm>
#include <iterator>
#include <memory>

#include "common/AsciiText.h"

namespace webtessl {
namespace {

// 100-nanosecond intervals between 1601-01-01 (file times) and 1970-01-01 (TFileTime).
constexpr int64_t kFileTimeTo1970 = 116444736000000000;
constexpr int64_t kIntervalsPerSecond = 10000000;
constexpr int32_t kNanosecondsPerInterval = 100;
// Characters that a directory search would take as a pattern rather than literally.
constexpr std::string_view kWildcards = std::string_view("*?\0", 3);
constexpr char kEveryEntry[] = "*";
// The longest path the system reports, and the prefixes it writes before it.
constexpr DWORD kLongestPath = 32768;
constexpr std::string_view kLongPathPrefix = "\\\\?\\";
constexpr std::string_view kUncPrefix = "\\\\?\\UNC\\";
constexpr std::string_view kSeparators = "\\/";
// Names that open a device rather than a file, in any folder; also COM1-9 and LPT1-9.
constexpr std::string_view kDeviceNames[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};

struct TFindCloser {
  void operator()(HANDLE search) const { ::FindClose(search); }
};
using TFindHandle = std::unique_ptr<void, TFindCloser>;

// A device name ("CON", "nul.txt", "COM1 ") in any segment opens a device wherever it stands.
bool IsDeviceName(std::string_view segment) {
  segment = segment.substr(0, segment.find('.'));
  while (!segment.empty() && segment.back() == ' ') segment.remove_suffix(1);
  if (segment.size() == 4 && (StartsWithText(segment, "COM") || StartsWithText(segment, "LPT"))) {
    return segment[3] >= '1' && segment[3] <= '9';
  }
  return std::any_of(std::begin(kDeviceNames), std::end(kDeviceNames),
                     [&](std::string_view device) { return SameText(segment, device); });
}

bool NamesDevice(std::string_view path) {
  for (size_t start = 0; start <= path.size();) {
    size_t end = path.find_first_of(kSeparators, start);
    if (end == std::string_view::npos) end = path.size();
    if (IsDeviceName(path.substr(start, end - start))) return true;
    start = end + 1;
  }
  return false;
}

// A path must name one file or folder literally: no NUL, no wildcard, no device, and no colon
// but the drive's, which would name a stream of a file instead of its content.
bool IsLiteral(std::string_view path) {
  if (path.empty() || path.find_first_of(kWildcards) != std::string_view::npos) return false;
  const size_t colon = path.find(':');
  if (colon != std::string_view::npos && (colon != 1 || path.find(':', colon + 1) != path.npos)) {
    return false;
  }
  return !NamesDevice(path);
}

TFileTime FromFileTime(const FILETIME& time) {
  const int64_t intervals =
      (static_cast<int64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime) - kFileTimeTo1970;
  int64_t seconds = intervals / kIntervalsPerSecond;
  int64_t rest = intervals % kIntervalsPerSecond;
  if (rest < 0) {
    --seconds;
    rest += kIntervalsPerSecond;
  }
  return {seconds, static_cast<int32_t>(rest) * kNanosecondsPerInterval};
}

TFileFacts FactsOf(DWORD attributes, DWORD sizeHigh, DWORD sizeLow, const FILETIME& written) {
  TFileFacts facts;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    facts.kind = TFileKind::Directory;
  } else if ((attributes & FILE_ATTRIBUTE_DEVICE) == 0) {
    facts.kind = TFileKind::File;
    facts.size = static_cast<int64_t>(static_cast<uint64_t>(sizeHigh) << 32 | sizeLow);
  }
  facts.modified = FromFileTime(written);
  return facts;
}

// The search for the pattern, its first entry in `found`; empty when nothing matched.
TFindHandle StartSearch(const std::string& pattern, WIN32_FIND_DATAA& found) {
  const HANDLE search = ::FindFirstFileA(pattern.c_str(), &found);
  return TFindHandle(search == INVALID_HANDLE_VALUE ? nullptr : search);
}

bool IsDotEntry(std::string_view name) {
  return name == "." || name == "..";
}

bool EndsInDelimiter(std::string_view folder) {
  return folder.back() == '\\' || folder.back() == '/' || folder.back() == ':';
}

}  // namespace

std::optional<TFileFacts> FileFacts(std::string_view path) {
  if (!IsLiteral(path)) return std::nullopt;
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (::GetFileAttributesExA(std::string(path).c_str(), GetFileExInfoStandard, &data) == FALSE) {
    return std::nullopt;
  }
  return FactsOf(data.dwFileAttributes, data.nFileSizeHigh, data.nFileSizeLow,
                 data.ftLastWriteTime);
}

// The path the system reports for an open handle of the file, without its "\\?\" prefix.
std::optional<std::string> CanonicalPath(std::string_view path) {
  if (!IsLiteral(path)) return std::nullopt;
  const win32::TUniqueHandle file(::CreateFileA(
      std::string(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) return std::nullopt;
  std::string resolved(kLongestPath, '\0');
  const DWORD length = ::GetFinalPathNameByHandleA(file.get(), resolved.data(), kLongestPath,
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (length == 0 || length >= kLongestPath) return std::nullopt;
  resolved.resize(length);
  if (resolved.starts_with(kUncPrefix)) return "\\\\" + resolved.substr(kUncPrefix.size());
  if (resolved.starts_with(kLongPathPrefix)) return resolved.substr(kLongPathPrefix.size());
  return resolved;
}

std::vector<TDirectoryEntry> ListDirectory(std::string_view folder) {
  std::vector<TDirectoryEntry> entries;
  if (!IsLiteral(folder)) return entries;
  std::string pattern(folder);
  if (!EndsInDelimiter(folder)) pattern += '\\';
  pattern += kEveryEntry;
  WIN32_FIND_DATAA found{};
  const TFindHandle search = StartSearch(pattern, found);
  if (!search) return entries;
  do {
    if (IsDotEntry(found.cFileName)) continue;
    entries.push_back({found.cFileName, FactsOf(found.dwFileAttributes, found.nFileSizeHigh,
                                                found.nFileSizeLow, found.ftLastWriteTime)});
  } while (::FindNextFileA(search.get(), &found) != FALSE);
  return entries;
}

}  // namespace webtessl
