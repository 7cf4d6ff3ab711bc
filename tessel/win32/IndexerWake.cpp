// Windows: no folder is watched, so a wake is a flag under a lock with a condition variable.

#include "tessel/IndexerWake.h"

#include <malloc.h>

#include <chrono>
#include <condition_variable>

#include "common/Mutex.h"

namespace webtessl {

struct TIndexerWake::TImpl {
  TMutex lock;
  std::condition_variable woken;
  bool pending GUARDED_BY(lock) = false;
};

TIndexerWake::TIndexerWake() : impl_(std::make_unique<TImpl>()) {}

TIndexerWake::~TIndexerWake() = default;

void TIndexerWake::Wake() const {
  {
    const TMutexLock guard(impl_->lock);
    impl_->pending = true;
  }
  impl_->woken.notify_one();
}

void TIndexerWake::Wait(int /*watchFd*/, int timeoutMs) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  TMutexLock guard(impl_->lock);
  while (!impl_->pending) {
    if (timeoutMs < 0) {
      guard.Wait(impl_->woken);
    } else if (!guard.WaitUntil(impl_->woken, deadline)) {
      break;
    }
  }
  impl_->pending = false;
}

void ReturnFreeMemory() {
  ::_heapmin();
}

}  // namespace webtessl
