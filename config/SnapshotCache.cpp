#include "config/SnapshotCache.h"

#include "platform/PrivateProfile.h"

namespace webtessl {

std::shared_ptr<const TProfileSnapshot> TSnapshotCache::Current() {
  if (const std::optional<TFileStamp> stamp = StampAt(fileName_)) {
    TMutexLock lock(lock_);
    if (kept_ && kept_->Stamp() == stamp) return kept_;
  }
  auto fresh = std::make_shared<const TProfileSnapshot>(fileName_);
  // The stamp is the one of the file the reading came from, so a change made between the look
  // above and the reading is never kept under the older stamp.
  if (fresh->Stamp() && Settled(*fresh->Stamp(), settledSeconds_)) {
    TMutexLock lock(lock_);
    kept_ = fresh;
  }
  return fresh;
}

}  // namespace webtessl
