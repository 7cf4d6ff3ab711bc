#include "tessel/FolderListing.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace webtessl {
namespace {

struct TDirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};
using TDirPtr = std::unique_ptr<DIR, TDirCloser>;

TListedEntry EntryOf(std::string_view name, const struct stat& info) {
  TListedEntry entry;
  entry.name = name;
  entry.isDirectory = S_ISDIR(info.st_mode);
  entry.facts.size = entry.isDirectory || info.st_size < 0 ? 0 : static_cast<uint64_t>(info.st_size);
  entry.facts.modified = info.st_mtim.tv_sec;
  return entry;
}

}  // namespace

std::optional<TFolderListing> ListFolder(const std::string& path, bool followLink) {
  const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW);
  const int fd = ::open(path.c_str(), flags);
  if (fd < 0) return std::nullopt;
  TDirPtr dir(::fdopendir(fd));
  if (!dir) {
    ::close(fd);
    return std::nullopt;
  }
  TFolderListing listing;
  struct stat info {};
  if (::fstat(fd, &info) == 0) {
    listing.device = info.st_dev;
    listing.inode = info.st_ino;
  }
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string_view name(entry->d_name);
    if (IsHiddenName(name)) continue;  // also "." and ".."
    // Relative to the open folder: no path is looked up again, and the entry is the one listed.
    if (::fstatat(fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone
    listing.entries.push_back(EntryOf(name, info));
  }
  return listing;
}

std::optional<TListedEntry> ReadEntry(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return std::nullopt;
  return EntryOf({}, info);
}

}  // namespace webtessl
