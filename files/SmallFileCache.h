#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

#include "common/Mutex.h"
#include "platform/FileStamp.h"
#include "platform/FileStream.h"

namespace webtessl {

// A small file's bytes as read, and its last write.
struct TCachedFile {
  std::shared_ptr<const std::string> bytes;
  TFileTime modified;
};

// The bytes of the small files of one folder as last read, each with the stamp of the state it
// was read in, so that serving one again costs one look at its name instead of an open, a read
// and a close; a file whose stamp has changed in any way is read anew. A file is kept only once
// it has been left alone for a while: two writes within the clock's grain could leave equal
// stamps on different contents. Names found too large to keep are remembered as such, so that
// they cost no look beyond their open. Bounded in names and bytes. Thread-safe.
class TSmallFileCache {
 public:
  // Files up to this size are kept: those that go out in one send with their head.
  static constexpr int64_t kMaxFileBytes = 16 * 1024;
  static constexpr size_t kMaxFiles = 256;
  // How long a file must have been left alone before its bytes are kept.
  static constexpr int64_t kSettledSeconds = 2;

  explicit TSmallFileCache(int64_t settledSeconds = kSettledSeconds)
      : settledSeconds_(settledSeconds) {}

  // The bytes of the regular file at `relative` below the folder, when they are kept and the
  // file is still in the state they were read in. Looks at the file only when bytes are kept.
  std::optional<TCachedFile> Find(const TOpenFolder& folder, const std::string& relative)
      EXCLUDES(lock_);
  // Keeps the bytes of the file just opened at `relative` when it is small and settled; the
  // stream's own position is left alone.
  void Offer(const std::string& relative, const TFileStream& file) EXCLUDES(lock_);

 private:
  // A name's bytes with their stamp, or, without bytes, a name too large to keep.
  struct TEntry {
    TFileStamp stamp;
    TCachedFile file;
  };
  void Put(const std::string& relative, TEntry entry) EXCLUDES(lock_);

  const int64_t settledSeconds_;
  TMutex lock_;
  std::unordered_map<std::string, TEntry> entries_ GUARDED_BY(lock_);
};

}  // namespace webtessl
