#pragma once

#include <memory>

namespace webtessl {

// The right to be the one tessel of this desktop: an exclusive lock on a file in the desktop
// folder, taken without waiting and held until the object goes (or the process ends, whichever
// way). Of several processes that try at once, exactly one gets it. Not thread-safe.
class TInstanceLock {
 public:
  TInstanceLock();
  ~TInstanceLock();
  TInstanceLock(const TInstanceLock&) = delete;
  TInstanceLock& operator=(const TInstanceLock&) = delete;

  // Whether this process holds the lock.
  bool Held() const;

 private:
  struct TImpl;
  const std::unique_ptr<TImpl> impl_;
};

}  // namespace webtessl
