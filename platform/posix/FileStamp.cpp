#include "platform/FileStamp.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <string>

namespace webtessl {
namespace {

std::optional<TFileStamp> StampOfStat(const struct stat& info) {
  if (!S_ISREG(info.st_mode)) return std::nullopt;
  return TFileStamp{static_cast<uint64_t>(info.st_dev),
                    static_cast<uint64_t>(info.st_ino),
                    static_cast<int64_t>(info.st_size),
                    {static_cast<int64_t>(info.st_mtim.tv_sec),
                     static_cast<int32_t>(info.st_mtim.tv_nsec)},
                    {static_cast<int64_t>(info.st_ctim.tv_sec),
                     static_cast<int32_t>(info.st_ctim.tv_nsec)}};
}

}  // namespace

std::optional<TFileStamp> StampOf(const TFileStream& file) {
  struct stat info {};
  if (fstat(static_cast<int>(file.Handle()), &info) != 0) return std::nullopt;
  return StampOfStat(info);
}

std::optional<TFileStamp> StampAt(std::string_view path) {
  if (path.empty() || path.find('\0') != std::string_view::npos) return std::nullopt;
  struct stat info {};
  if (stat(std::string(path).c_str(), &info) != 0) return std::nullopt;
  return StampOfStat(info);
}

std::optional<TFileStamp> StampBeneath(const TOpenFolder& folder, std::string_view relative) {
  if (folder.Handle() < 0 || relative.empty() || relative.starts_with('/') ||
      relative.find('\0') != std::string_view::npos) {
    return std::nullopt;
  }
  struct stat info {};
  if (fstatat(static_cast<int>(folder.Handle()), std::string(relative).c_str(), &info,
              AT_SYMLINK_NOFOLLOW) != 0) {
    return std::nullopt;
  }
  return StampOfStat(info);
}

}  // namespace webtessl
