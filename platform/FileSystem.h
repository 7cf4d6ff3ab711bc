#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace webtessl {

// Facts about files and folders, taken from the file system by path. Paths are byte text in the
// system code page, taken literally (no wildcards); a path holding a NUL byte never reaches the
// file system and names nothing. On Windows neither does a path with a device name segment
// ("CON", "nul.txt") or a colon other than the drive's (a file's data stream). Thread-safe: no state of its own.

// A file time: seconds and nanoseconds since 1970-01-01 00:00 UTC.
struct TFileTime {
  int64_t seconds = 0;
  int32_t nanoseconds = 0;
};

enum class TFileKind { File, Directory, Other };

struct TFileFacts {
  TFileKind kind = TFileKind::Other;
  int64_t size = 0;    // bytes; 0 for folders
  TFileTime modified;  // last write
};

struct TDirectoryEntry {
  std::string name;  // the entry's own name, without its folder
  TFileFacts facts;
};

// The facts of the file or folder the path names (symbolic links followed; a dangling link is
// described itself), or nothing when there is none or it cannot be examined.
std::optional<TFileFacts> FileFacts(std::string_view path);

// The one absolute path of the existing file or folder: symbolic links and "." and ".." resolved
// (on Windows also letter case and short names, as the file system records them), so that two
// paths of one file compare equal. Nothing when the path names nothing.
std::optional<std::string> CanonicalPath(std::string_view path);

// The entries of the folder other than "." and "..", in the order the file system gives them;
// empty when the folder cannot be read.
std::vector<TDirectoryEntry> ListDirectory(std::string_view folder);

}  // namespace webtessl
