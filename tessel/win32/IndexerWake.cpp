// Windows: no folder is watched, so a wake is a flag under a lock with a condition variable.

#include "tessel/IndexerWake.h"

#include <malloc.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace webtessl {

struct TIndexerWake::TImpl {
  std::mutex lock;
  std::condition_variable woken;
  bool pending = false;  // guarded by lock
};

TIndexerWake::TIndexerWake() : impl_(std::make_unique<TImpl>()) {}

TIndexerWake::~TIndexerWake() = default;

void TIndexerWake::Wake() const {
  {
    const std::lock_guard guard(impl_->lock);
    impl_->pending = true;
  }
  impl_->woken.notify_one();
}

void TIndexerWake::Wait(int /*watchFd*/, int timeoutMs) const {
  std::unique_lock guard(impl_->lock);
  const auto isPending = [this] { return impl_->pending; };
  if (timeoutMs < 0) {
    impl_->woken.wait(guard, isPending);
  } else {
    impl_->woken.wait_for(guard, std::chrono::milliseconds(timeoutMs), isPending);
  }
  impl_->pending = false;
}

void ReturnFreeMemory() {
  ::_heapmin();
}

}  // namespace webtessl
