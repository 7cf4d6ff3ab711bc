#include "tessel/QueryWorkers.h"

#include <exception>

namespace webtessl {

TQueryWorkers::TQueryWorkers(size_t threads, size_t maxWaiting) : maxWaiting_(maxWaiting) {
  for (size_t i = 0; i < threads; ++i) threads_.emplace_back([this] { Work(); });
}

TQueryWorkers::~TQueryWorkers() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    waiting_.clear();
  }
  wake_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

bool TQueryWorkers::Post(std::function<void()> job) {
  {
    std::lock_guard lock(mutex_);
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
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
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
