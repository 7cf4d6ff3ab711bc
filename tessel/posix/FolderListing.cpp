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

bool IsFolderEntry(int folderFd, const dirent& entry) {
  if (entry.d_type == DT_DIR) return true;
  if (entry.d_type != DT_UNKNOWN) return false;
  struct stat info {};
  return ::fstatat(folderFd, entry.d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
         S_ISDIR(info.st_mode);
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
    listing.entries.push_back({std::string(name), IsFolderEntry(fd, *entry)});
  }
  return listing;
}

}  // namespace webtessl
