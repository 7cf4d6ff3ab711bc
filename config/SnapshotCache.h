#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "common/Mutex.h"
#include "platform/FileStamp.h"

namespace webtessl {

class TProfileSnapshot;

// The last reading of one configuration file, handed out again while the file keeps the stamp
// it was read with, so that a request's settings cost one look at the file's name instead of an
// open, a read and a close. Any change of the stamp (an edit, a replacement, a removal) reads the
// file anew, and so does every request while the file has changed within the last
// `settledSeconds` (two writes within the clock's grain could leave equal stamps); where the
// system gives no stamps, every reading goes to the file. Thread-safe.
class TSnapshotCache final {
 public:
  static constexpr int64_t kSettledSeconds = 2;

  explicit TSnapshotCache(std::string fileName, int64_t settledSeconds = kSettledSeconds)
      : fileName_(std::move(fileName)), settledSeconds_(settledSeconds) {}

  // A reading of the file as it is now.
  std::shared_ptr<const TProfileSnapshot> Current() EXCLUDES(lock_);

 private:
  const std::string fileName_;
  const int64_t settledSeconds_;
  TMutex lock_;
  std::shared_ptr<const TProfileSnapshot> kept_ GUARDED_BY(lock_);
};

}  // namespace webtessl
