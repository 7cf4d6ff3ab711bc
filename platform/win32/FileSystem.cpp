// Win32 backend of platform/FileSystem.h: file attributes and directory search.

#include "platform/FileSystem.h"

#include "platform/win32/FileFacts.h"
#include "platform/win32/FinalPath.h"
#include "platform/win32/LiteralPath.h"
#include "platform/win32/WinApi.h"

#include <memory>

namespace webtessl {
namespace {

constexpr char kEveryEntry[] = "*";

struct TFindCloser {
  void operator()(HANDLE search) const { ::FindClose(search); }
};
using TFindHandle = std::unique_ptr<void, TFindCloser>;

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
  if (!win32::IsLiteralPath(path)) return std::nullopt;
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (::GetFileAttributesExA(std::string(path).c_str(), GetFileExInfoStandard, &data) == FALSE) {
    return std::nullopt;
  }
  return win32::FactsOf(data.dwFileAttributes, data.nFileSizeHigh, data.nFileSizeLow,
                        data.ftLastWriteTime);
}

// The path the system reports for an open handle of the file, without its "\\?\" prefix.
std::optional<std::string> CanonicalPath(std::string_view path) {
  if (!win32::IsLiteralPath(path)) return std::nullopt;
  const win32::TUniqueHandle file(::CreateFileA(
      std::string(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) return std::nullopt;
  return win32::FinalPathOf(file.get());
}

std::vector<TDirectoryEntry> ListDirectory(std::string_view folder) {
  std::vector<TDirectoryEntry> entries;
  if (!win32::IsLiteralPath(folder)) return entries;
  std::string pattern(folder);
  if (!EndsInDelimiter(folder)) pattern += '\\';
  pattern += kEveryEntry;
  WIN32_FIND_DATAA found{};
  const TFindHandle search = StartSearch(pattern, found);
  if (!search) return entries;
  do {
    if (IsDotEntry(found.cFileName)) continue;
    entries.push_back({found.cFileName, win32::FactsOf(found.dwFileAttributes, found.nFileSizeHigh,
                                                       found.nFileSizeLow, found.ftLastWriteTime)});
  } while (::FindNextFileA(search.get(), &found) != FALSE);
  return entries;
}

}  // namespace webtessl
