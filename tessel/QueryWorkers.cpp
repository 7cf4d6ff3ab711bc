#include "tessel/QueryWorkers.h"

#include <exception>

namespace webtessl {

TQueryWorkers::TQueryWorkers(size_t threads, size_t maxWaiting) : maxWaiting_(maxWaiting) {
  for (size_t i = 0; i < threads; ++i) threads_.emplace_back([this] { Work(); });
}

TQueryWorkers::~TQueryWorkers() {
  {
    const TMutexLock lock(mutex_);
    stopping_ = true;
    waiting_.clear();
  }
  wake_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

bool TQueryWorkers::Post(std::function<void()> job) {
  {
    const TMutexLock lock(mutex_);
    if (stopping_ || waiting_.size() >= maxWaiting_) return false;
    waiting_.push_back(std::move(job));
  }
  wake_.notify_one();
  return true;
}

void TQueryWorkers::Work() {
  for (;;) {
    std::function<void()> job;
    {
      TMutexLock lock(mutex_);
      while (!stopping_ && waiting_.empty()) lock.Wait(wake_);
      if (stopping_) return;
      job = std::move(waiting_.front());
      waiting_.pop_front();
    }
    try {
      job();
    } catch (const std::exception&) {
      // A job that fails (out of memory) leaves its query unanswered; the asker times out.
    }
  }
}

}  // namespace webtessl
