#include "platform/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <system_error>

#include "platform/posix/StatFacts.h"
#include "platform/posix/StatRing.h"

namespace webtessl {
namespace {

struct TDirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};
using TDirHandle = std::unique_ptr<DIR, TDirCloser>;

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

TFileFacts FactsOfRecord(const struct statx& info) {
  struct stat asStat {};
  asStat.st_mode = info.stx_mode;
  asStat.st_size = static_cast<off_t>(info.stx_size);
  asStat.st_mtim.tv_sec = static_cast<time_t>(info.stx_mtime.tv_sec);
  asStat.st_mtim.tv_nsec = static_cast<long>(info.stx_mtime.tv_nsec);
  return FactsOf(asStat);
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
  return StatAt(AT_FDCWD, std::string(path).c_str());
}

std::vector<std::optional<TFileFacts>> FilesFacts(const std::vector<std::string>& paths) {
  std::vector<std::optional<TFileFacts>> facts(paths.size());
  std::vector<const char*> named;
  std::vector<size_t> namedAt;
  for (size_t i = 0; i < paths.size(); ++i) {
    if (paths[i].empty() || HasNul(paths[i])) continue;
    named.push_back(paths[i].c_str());
    namedAt.push_back(i);
  }
  std::vector<std::optional<struct statx>> looked(named.size());
  TStatRing* const ring = named.size() > 1 ? TStatRing::ForThisThread() : nullptr;
  const bool together = ring != nullptr && ring->Look(named, looked);
  for (size_t j = 0; j < named.size(); ++j) {
    // A path the ring could not describe is looked at alone: a dangling link is described
    // itself, as FileFacts does.
    facts[namedAt[j]] = together && looked[j] ? FactsOfRecord(*looked[j]) : StatAt(AT_FDCWD, named[j]);
  }
  return facts;
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
