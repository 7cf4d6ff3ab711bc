#include "platform/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "platform/posix/StatFacts.h"

namespace webtessl {
namespace {

struct TDirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};
using TDirHandle = std::unique_ptr<DIR, TDirCloser>;

constexpr size_t kShortPathBytes = 512;

bool HasNul(std::string_view path) {
  return path.find('\0') != std::string_view::npos;
}

// stat relative to a folder (or the current folder), falling back to the link itself.
std::optional<TFileFacts> StatAt(int folder, const char* path) {
  struct stat info {};
  if (fstatat(folder, path, &info, 0) == 0 ||
      fstatat(folder, path, &info, AT_SYMLINK_NOFOLLOW) == 0) {
    return FactsOf(info);
  }
  return std::nullopt;
}

bool IsDotEntry(std::string_view name) {
  return name == "." || name == "..";
}

}  // namespace

TFileFacts FactsOf(const struct stat& info) {
  TFileFacts facts;
  if (S_ISDIR(info.st_mode)) {
    facts.kind = TFileKind::Directory;
  } else if (S_ISREG(info.st_mode)) {
    facts.kind = TFileKind::File;
    facts.size = static_cast<int64_t>(info.st_size);
  }
  facts.modified.seconds = static_cast<int64_t>(info.st_mtim.tv_sec);
  facts.modified.nanoseconds = static_cast<int32_t>(info.st_mtim.tv_nsec);
  return facts;
}

std::optional<TFileFacts> FileFacts(std::string_view path) {
  if (path.empty() || HasNul(path)) return std::nullopt;
  // A search completes each of its results through here: a path of ordinary length is ended on
  // the stack rather than copied to the heap.
  std::array<char, kShortPathBytes> shortPath;
  if (path.size() < shortPath.size()) {
    std::memcpy(shortPath.data(), path.data(), path.size());
    shortPath[path.size()] = '\0';
    return StatAt(AT_FDCWD, shortPath.data());
  }
  return StatAt(AT_FDCWD, std::string(path).c_str());
}

std::optional<std::string> CanonicalPath(std::string_view path) {
  if (path.empty() || HasNul(path)) return std::nullopt;
  std::error_code error;
  const std::filesystem::path resolved = std::filesystem::canonical(std::string(path), error);
  if (error) return std::nullopt;
  return resolved.string();
}

std::vector<TDirectoryEntry> ListDirectory(std::string_view folder) {
  std::vector<TDirectoryEntry> entries;
  if (folder.empty() || HasNul(folder)) return entries;
  const TDirHandle dir(opendir(std::string(folder).c_str()));
  if (!dir) return entries;
  while (const dirent* entry = readdir(dir.get())) {
    if (IsDotEntry(entry->d_name)) continue;
    if (auto facts = StatAt(dirfd(dir.get()), entry->d_name)) {
      entries.push_back({entry->d_name, *facts});
    }
  }
  return entries;
}

}  // namespace webtessl
