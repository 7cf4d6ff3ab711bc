// Windows: folders are read with a directory search. A folder that is a reparse point (a junction
// or a symbolic link) counts as a file, as a symbolic link does on Linux, so no loop is ever
// entered and a folder's path is its identity. The search gives every entry's size and date with
// its name, so a listing always carries the facts.

#include "tessel/FolderListing.h"

#include "platform/win32/WinApi.h"

#include <functional>
#include <memory>

#include "platform/win32/FileFacts.h"
#include "tessel/NativePath.h"

namespace webtessl {
namespace {

struct TFindCloser {
  void operator()(HANDLE search) const { ::FindClose(search); }
};
using TFindHandle = std::unique_ptr<void, TFindCloser>;

constexpr char kEveryEntry[] = "\\*";

bool IsFolderEntry(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

TEntryFacts FactsOf(DWORD attributes, DWORD sizeHigh, DWORD sizeLow, const FILETIME& written) {
  const TFileFacts facts = win32::FactsOf(attributes, sizeHigh, sizeLow, written);
  return {IsFolderEntry(attributes) ? 0 : static_cast<uint64_t>(facts.size),
          facts.modified.seconds};
}

// A folder the user named may be a link; any other must be a real folder.
bool MayRead(const std::string& nativePath, bool followLink) {
  const DWORD attributes = ::GetFileAttributesA(nativePath.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return false;
  }
  return followLink || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

}  // namespace

std::optional<TFolderListing> ListFolder(const std::string& path, bool followLink,
                                         TListingDetail /*detail*/) {
  std::string nativePath = ToNativePath(path);
  if (!MayRead(nativePath, followLink)) return std::nullopt;
  if (nativePath.ends_with('\\')) nativePath.pop_back();
  WIN32_FIND_DATAA found{};
  const HANDLE first = ::FindFirstFileA((nativePath + kEveryEntry).c_str(), &found);
  if (first == INVALID_HANDLE_VALUE) return std::nullopt;
  const TFindHandle search(first);
  TFolderListing listing;
  listing.identity.inode = std::hash<std::string>{}(path);
  do {
    const std::string_view name(found.cFileName);
    if (IsHiddenName(name)) continue;  // also "." and ".."
    listing.Append(name, IsFolderEntry(found.dwFileAttributes),
                   FactsOf(found.dwFileAttributes, found.nFileSizeHigh, found.nFileSizeLow,
                           found.ftLastWriteTime));
  } while (::FindNextFileA(search.get(), &found) != FALSE);
  return listing;
}

std::optional<TEntryFacts> ReadFacts(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExA(ToNativePath(path).c_str(), GetFileExInfoStandard, &data))
    return std::nullopt;
  return FactsOf(data.dwFileAttributes, data.nFileSizeHigh, data.nFileSizeLow,
                 data.ftLastWriteTime);
}

}  // namespace webtessl
