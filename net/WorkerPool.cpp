#include "net/WorkerPool.h"

#include <algorithm>
#include <memory>
#include <utility>

namespace webtessl {

TWorkerPool::~TWorkerPool() {
  SetSpareThreads(0);
  std::unique_lock lock(lock_);
  workersEnded_.wait(lock, [this] { return workers_ == 0; });
}

int16_t TWorkerPool::SpareThreads() const {
  const std::lock_guard lock(lock_);
  return spareThreads_;
}

void TWorkerPool::SetSpareThreads(int16_t value) {
  const std::lock_guard lock(lock_);
  spareThreads_ = std::max<int16_t>(value, 0);
  while (parked_.size() > static_cast<std::size_t>(spareThreads_)) {
    TExecLoop* loop = parked_.back();
    parked_.pop_back();
    loop->Thread->Terminate();
    loop->Wake.notify_one();
  }
}

std::size_t TWorkerPool::ParkedCount() const {
  const std::lock_guard lock(lock_);
  return parked_.size();
}

std::size_t TWorkerPool::WorkerCount() const {
  const std::lock_guard lock(lock_);
  return workers_;
}

// Counts the worker before it starts, so that destruction waits for it.
std::thread::id TWorkerPool::StartWorker(TSynThread::TThreadMethod method) {
  {
    const std::lock_guard lock(lock_);
    ++workers_;
  }
  try {
    return TSynThread::StartSelfFreeing(std::make_unique<TSynThread>(std::move(method)));
  } catch (...) {
    WorkerEnded();
    throw;
  }
}

// The last thing a worker does with the pool.
void TWorkerPool::WorkerEnded() {
  const std::lock_guard lock(lock_);
  if (--workers_ == 0) {
    workersEnded_.notify_all();  // under the lock, so the pool outlives this call
  }
}

std::thread::id TWorkerPool::RunInWorker(TWorkerJob job) {
  if (!job) {
    return {};
  }
  bool pooled = false;
  {
    const std::lock_guard lock(lock_);
    pooled = spareThreads_ > 0;
    if (pooled && !parked_.empty()) {
      TExecLoop* loop = parked_.back();
      parked_.pop_back();
      loop->Job = std::move(job);
      loop->Wake.notify_one();
      return loop->Thread->ThreadId();
    }
  }
  if (!pooled) {
    // Nothing is pooled: the job gets a thread of its own that ends with it.
    return StartWorker([this, job = std::move(job)](TSynThread& thread) {
      const TEndGuard endGuard{*this};
      job(thread);
    });
  }
  auto loop = std::make_shared<TExecLoop>();
  loop->Job = std::move(job);
  loop->OnDone = [this](TExecLoop& done) { ReleaseLoop(done); };
  return StartWorker([this, loop](TSynThread& thread) { LoopBody(*loop, thread); });
}

void TWorkerPool::LoopBody(TExecLoop& loop, TSynThread& thread) {
  const TEndGuard endGuard{*this};  // also when a job raises: such a worker is not pooled again
  {
    const std::lock_guard lock(lock_);
    loop.Thread = &thread;
  }
  while (true) {
    TWorkerJob job;
    {
      const std::lock_guard lock(lock_);
      job = std::exchange(loop.Job, nullptr);
    }
    if (!job) {
      return;
    }
    job(thread);
    job = nullptr;
    if (loop.OnDone) {
      loop.OnDone(loop);
    }
  }
}

void TWorkerPool::ReleaseLoop(TExecLoop& loop) {
  std::unique_lock lock(lock_);
  if (parked_.size() >= static_cast<std::size_t>(spareThreads_)) {
    return;
  }
  parked_.push_back(&loop);
  loop.Wake.wait(lock, [&loop] { return loop.Job || loop.Thread->Terminated(); });
}

}  // namespace webtessl
