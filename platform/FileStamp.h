#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/FileStream.h"
#include "platform/FileSystem.h"

namespace webtessl {

// What tells one state of a regular file from another: the file itself (device and file number)
// and its size, last write and last change of any kind (contents, name, rights, links). Two equal
// stamps taken at different moments mean that nothing about the file was seen to change in
// between, to the clock's grain.
struct TFileStamp {
  uint64_t device = 0;
  uint64_t file = 0;
  int64_t size = 0;
  TFileTime modified;
  TFileTime changed;

  bool operator==(const TFileStamp& other) const {
    return device == other.device && file == other.file && size == other.size &&
           modified.seconds == other.modified.seconds &&
           modified.nanoseconds == other.modified.nanoseconds &&
           changed.seconds == other.changed.seconds &&
           changed.nanoseconds == other.changed.nanoseconds;
  }
};

// Stamps are what a cache of file contents checks against; where the system has no cheap way to
// take them (Windows), both give nothing and nothing is cached. Thread-safe.

// The stamp of an open file.
std::optional<TFileStamp> StampOf(const TFileStream& file);

// The stamp of the regular file the path names, a link followed as opening the file follows it;
// nothing when no regular file is there.
std::optional<TFileStamp> StampAt(std::string_view path);

// The stamp of the regular file at `relative` below the folder held open, taken by name with one
// look-up (the last name is not followed when it is a link, which then gives no stamp); nothing
// when the folder is not held open or no regular file is there.
std::optional<TFileStamp> StampBeneath(const TOpenFolder& folder, std::string_view relative);

// Whether neither the contents nor anything else of the file changed in the last `seconds`: only
// then do equal stamps taken later mean equal contents, since two writes within the clock's
// grain could leave equal stamps.
inline bool Settled(const TFileStamp& stamp, int64_t seconds) {
  const int64_t now = std::chrono::duration_cast<std::chrono::seconds>(
                          std::chrono::system_clock::now().time_since_epoch())
                          .count();
  return now - std::max(stamp.modified.seconds, stamp.changed.seconds) >= seconds;
}

}  // namespace webtessl
