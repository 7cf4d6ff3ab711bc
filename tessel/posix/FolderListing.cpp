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

// The kind of an entry from its record in the folder; a file system that does not tell it there
// is asked for that entry alone. False when the entry went meanwhile.
bool KindOf(int fd, const char* name, unsigned char type, bool& isDirectory) {
  if (type != DT_UNKNOWN) {
    isDirectory = type == DT_DIR;
    return true;
  }
  struct stat info {};
  if (::fstatat(fd, name, &info, AT_SYMLINK_NOFOLLOW) != 0) return false;
  isDirectory = S_ISDIR(info.st_mode);
  return true;
}

// Adds the visible entries of one block read from the folder.
void AddEntries(int fd, const char* block, size_t bytes, TFolderListing& listing) {
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
    if (name[0] == '.') continue;  // hidden, also "." and ".."
    if (!listing.hasFacts) {
      if (bool isDirectory = false; KindOf(fd, name, header.d_type, isDirectory))
        listing.Append(name, isDirectory);
      continue;
    }
    // Relative to the open folder: no path is looked up again, and the entry is the one listed.
    if (::fstatat(fd, name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone
    listing.Append(name, S_ISDIR(info.st_mode), FactsOf(info));
  }
}

}  // namespace

std::optional<TFolderListing> ListFolder(const std::string& path, bool followLink,
                                         TListingDetail detail) {
  const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW);
  const TUniqueFd fd(::open(path.c_str(), flags));
  if (!fd.Valid()) return std::nullopt;
  // The identity of the folder opened, asked of the open folder itself: a folder's number in its
  // parent's listing names the folder below a mount point, not the one mounted there, and says
  // nothing of the device.
  struct stat own {};
  if (::fstat(fd.Get(), &own) != 0) return std::nullopt;
  TFolderListing listing;
  listing.identity = {own.st_dev, own.st_ino};
  listing.hasFacts = detail == TListingDetail::NamesAndFacts;
  alignas(dirent64) char block[kListBytes];
  for (;;) {
    const ssize_t got = ::getdents64(fd.Get(), block, sizeof block);
    if (got <= 0) break;  // the end, or the folder went while it was read
    AddEntries(fd.Get(), block, static_cast<size_t>(got), listing);
  }
  return listing;
}

std::optional<TEntryFacts> ReadFacts(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return std::nullopt;
  return FactsOf(info);
}

}  // namespace webtessl
