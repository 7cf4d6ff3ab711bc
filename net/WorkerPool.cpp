#include "net/WorkerPool.h"

#include <algorithm>
#include <utility>

namespace webtessl {

TWorkerPool::~TWorkerPool() {
  SetSpareThreads(0);
  TMutexLock lock(lock_);
  while (workers_ != 0) {
    lock.Wait(workersEnded_);
  }
}

int16_t TWorkerPool::SpareThreads() const {
  const TMutexLock lock(lock_);
  return spareThreads_;
}

void TWorkerPool::SetSpareThreads(int16_t value) {
  const TMutexLock lock(lock_);
  spareThreads_ = std::max<int16_t>(value, 0);
  while (parked_.size() > static_cast<std::size_t>(spareThreads_)) {
    TExecLoop* loop = parked_.back();
    parked_.pop_back();
    loop->Thread->Terminate();
    loop->Wake.notify_one();
  }
}

std::size_t TWorkerPool::ParkedCount() const {
  const TMutexLock lock(lock_);
  return parked_.size();
}

std::size_t TWorkerPool::WorkerCount() const {
  const TMutexLock lock(lock_);
  return workers_;
}

void TWorkerPool::HandJob(TExecLoop& loop, TWorkerJob job) {
  loop.Job = std::move(job);
}

TWorkerJob TWorkerPool::TakeJob(TExecLoop& loop) {
  return std::exchange(loop.Job, nullptr);
}

bool TWorkerPool::Called(const TExecLoop& loop) const {
  return loop.Job || loop.Thread->Terminated();
}

// Counts the worker before it starts, so that destruction waits for it; the worker is counted
// out as the very last thing its thread does with the pool.
std::thread::id TWorkerPool::StartWorker(std::unique_ptr<TSynThread> thread) {
  thread->SetOnEnded([this] { WorkerEnded(); });
  {
    const TMutexLock lock(lock_);
    ++workers_;
  }
  try {
    return TSynThread::StartSelfFreeing(std::move(thread));
  } catch (...) {
    WorkerEnded();
    throw;
  }
}

// The last thing a worker does with the pool.
void TWorkerPool::WorkerEnded() {
  const TMutexLock lock(lock_);
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
    const TMutexLock lock(lock_);
    pooled = spareThreads_ > 0;
    if (pooled && !parked_.empty()) {
      TExecLoop* loop = parked_.back();
      parked_.pop_back();
      HandJob(*loop, std::move(job));
      loop->Wake.notify_one();
      return loop->Thread->ThreadId();
    }
  }
  if (!pooled) {
    // Nothing is pooled: the job gets a thread of its own that ends with it.
    return StartWorker(
        std::make_unique<TSynThread>([job = std::move(job)](TSynThread& thread) { job(thread); }));
  }
  auto loop = std::make_shared<TExecLoop>();
  {
    const TMutexLock lock(lock_);
    HandJob(*loop, std::move(job));
  }
  auto thread =
      std::make_unique<TSynThread>([this, loop](TSynThread& self) { LoopBody(*loop, self); });
  loop->Thread = thread.get();  // before the worker starts, so it never changes while shared
  return StartWorker(std::move(thread));
}

void TWorkerPool::LoopBody(TExecLoop& loop, TSynThread& thread) {
  // A job that raises leaves the loop: such a worker is not pooled again.
  do {
    TWorkerJob job;
    {
      const TMutexLock lock(lock_);
      job = TakeJob(loop);
    }
    if (!job) {
      return;
    }
    job(thread);
  } while (ParkLoop(loop));
}

bool TWorkerPool::ParkLoop(TExecLoop& loop) {
  TMutexLock lock(lock_);
  if (parked_.size() >= static_cast<std::size_t>(spareThreads_)) {
    return false;
  }
  parked_.push_back(&loop);
  while (!Called(loop)) {
    lock.Wait(loop.Wake);
  }
  return true;
}

}  // namespace webtessl
