#include "tessel/FolderListing.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "platform/posix/UniqueFd.h"

namespace webtessl {
namespace {

// The entries are read straight from the kernel into this much room on the stack, many a call:
// no buffer is allocated per folder, and a folder of ten entries takes one call and the call that
// says it ended.
constexpr size_t kListBytes = 32 * 1024;

TEntryFacts FactsOf(const struct stat& info) {
  const bool isDirectory = S_ISDIR(info.st_mode);
  return {isDirectory || info.st_size < 0 ? 0 : static_cast<uint64_t>(info.st_size),
          info.st_mtim.tv_sec};
}

// Adds the visible entries of one block read from the folder, and notes the inode of the
// folder's own entry ".".
void AddEntries(int fd, const char* block, size_t bytes, TFolderListing& listing,
                uint64_t& ownInode) {
  size_t records = 0;
  for (size_t at = 0; at < bytes; ++records) {
    uint16_t length = 0;
    std::memcpy(&length, block + at + offsetof(dirent64, d_reclen), sizeof length);
    at += length;
  }
  // Room for the first block at once (most folders are one block); a large folder's later
  // blocks grow the listing by doubling, never by exactly a block, which would copy it each time.
  if (listing.entries.empty()) {
    listing.entries.reserve(records);
    listing.names.reserve(bytes);
  }
  struct stat info {};
  for (size_t at = 0; at < bytes;) {
    dirent64 header;
    std::memcpy(&header, block + at, offsetof(dirent64, d_name));
    const char* name = block + at + offsetof(dirent64, d_name);
    at += header.d_reclen;
    if (name[0] == '.') {  // hidden, also "." and ".."
      if (name[1] == '\0') ownInode = header.d_ino;
      continue;
    }
    // Relative to the open folder: no path is looked up again, and the entry is the one listed.
    if (::fstatat(fd, name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone
    listing.Append(name, S_ISDIR(info.st_mode), FactsOf(info), {info.st_dev, info.st_ino});
  }
}

}  // namespace

std::optional<TFolderListing> ListFolder(const std::string& path, bool followLink,
                                         const std::optional<TFolderIdentity>& listedAs) {
  const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW);
  const TUniqueFd fd(::open(path.c_str(), flags));
  if (!fd.Valid()) return std::nullopt;
  TFolderListing listing;
  uint64_t ownInode = 0;
  alignas(dirent64) char block[kListBytes];
  for (;;) {
    const ssize_t got = ::getdents64(fd.Get(), block, sizeof block);
    if (got <= 0) break;  // the end, or the folder went while it was read
    AddEntries(fd.Get(), block, static_cast<size_t>(got), listing, ownInode);
  }
  // The folder opened is the one its parent listed when its "." names the same inode (a
  // different folder put in its place meanwhile has another); a mount point's entry in its
  // parent already names the mounted folder. Otherwise the open folder itself is asked.
  if (listedAs && ownInode != 0 && ownInode == listedAs->inode) {
    listing.identity = *listedAs;
  } else if (struct stat info {}; ::fstat(fd.Get(), &info) == 0) {
    listing.identity = {info.st_dev, info.st_ino};
  }
  return listing;
}

std::optional<TEntryFacts> ReadFacts(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return std::nullopt;
  return FactsOf(info);
}

}  // namespace webtessl
