#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "common/Mutex.h"
#include "net/SynThread.h"

namespace webtessl {

// A unit of work for a worker thread; it is given the thread that runs it.
using TWorkerJob = std::function<void(TSynThread& thread)>;

// Runs jobs on worker threads and keeps up to SpareThreads idle workers parked for reuse, the
// one parked last being reused first. A parked worker waits on a condition variable: it uses no
// processor time and no wake-up is lost. There is no limit on busy workers.
// Threading: every operation is thread-safe. Destruction ends the parked workers and waits
// until every worker has ended, with the work its jobs left for the thread's end (see
// common/ThreadEnd.h), so jobs must be able to finish.
class TWorkerPool {
 public:
  static constexpr int16_t kDefaultSpareThreads = 3;

  TWorkerPool() = default;
  ~TWorkerPool();
  TWorkerPool(const TWorkerPool&) = delete;
  TWorkerPool& operator=(const TWorkerPool&) = delete;

  // Runs the job on a parked worker or a new one and returns that worker's thread id; an empty
  // job does nothing. With SpareThreads 0 the job gets a thread of its own that ends with it.
  // Raises std::system_error when a thread cannot be created.
  std::thread::id RunInWorker(TWorkerJob job) EXCLUDES(lock_);

  int16_t SpareThreads() const EXCLUDES(lock_);
  // Stores the value (0 when negative) and ends the parked workers beyond it, last parked first.
  void SetSpareThreads(int16_t value) EXCLUDES(lock_);

  // How many workers are parked, and how many exist at all (busy or parked).
  std::size_t ParkedCount() const EXCLUDES(lock_);
  std::size_t WorkerCount() const EXCLUDES(lock_);

 private:
  // The record of one pooled worker. It belongs to its worker thread and is released when that
  // thread ends. Its job is the pool's to guard, so only HandJob and TakeJob touch it, both under
  // the pool's lock (an annotation on the record could not name the pool's mutex).
  struct TExecLoop {
    TSynThread* Thread = nullptr;  // the worker running this record; set before it starts
    std::condition_variable Wake;  // signalled with a new job or when the pool shrinks
    TWorkerJob Job;                // the job to run next; empty when idle
  };

  void HandJob(TExecLoop& loop, TWorkerJob job) REQUIRES(lock_);
  TWorkerJob TakeJob(TExecLoop& loop) REQUIRES(lock_);
  // True when the parked record has a job or its worker is to end.
  bool Called(const TExecLoop& loop) const REQUIRES(lock_);

  std::thread::id StartWorker(std::unique_ptr<TSynThread> thread) EXCLUDES(lock_);
  void LoopBody(TExecLoop& loop, TSynThread& thread) EXCLUDES(lock_);
  // Parks the worker until it is handed a job (true) or is to end (false).
  bool ParkLoop(TExecLoop& loop) EXCLUDES(lock_);
  void WorkerEnded() EXCLUDES(lock_);

  mutable TMutex lock_;
  std::vector<TExecLoop*> parked_ GUARDED_BY(lock_);  // in the order they parked
  int16_t spareThreads_ GUARDED_BY(lock_) = kDefaultSpareThreads;
  std::size_t workers_ GUARDED_BY(lock_) = 0;
  std::condition_variable workersEnded_;  // signalled when workers_ drops to 0
};

}  // namespace webtessl
