#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "net/SynThread.h"

namespace webtessl {

// A unit of work for a worker thread; it is given the thread that runs it.
using TWorkerJob = std::function<void(TSynThread& thread)>;

// The record of one pooled worker. It belongs to its worker thread and is released when that
// thread ends. Job is guarded by the pool's lock.
struct TExecLoop {
  TWorkerJob Job;                          // the job to run next; empty when idle
  std::function<void(TExecLoop&)> OnDone;  // called after each job: the pool's ReleaseLoop
  TSynThread* Thread = nullptr;            // the worker running this record
  std::condition_variable Wake;            // signalled with a new job or when the pool shrinks
};

// Runs jobs on worker threads and keeps up to SpareThreads idle workers parked for reuse, the
// one parked last being reused first. A parked worker waits on a condition variable: it uses no
// processor time and no wake-up is lost. There is no limit on busy workers.
// Threading: every operation is thread-safe. Destruction ends the parked workers and waits
// until every worker has ended, so jobs must be able to finish.
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
  std::thread::id RunInWorker(TWorkerJob job);

  int16_t SpareThreads() const;
  // Stores the value (0 when negative) and ends the parked workers beyond it, last parked first.
  void SetSpareThreads(int16_t value);

  // How many workers are parked, and how many exist at all (busy or parked).
  std::size_t ParkedCount() const;
  std::size_t WorkerCount() const;

 private:
  std::thread::id StartWorker(TSynThread::TThreadMethod method);
  void LoopBody(TExecLoop& loop, TSynThread& thread);
  void ReleaseLoop(TExecLoop& loop);
  void WorkerEnded();

  // Calls WorkerEnded when a worker's body leaves, however it leaves.
  struct TEndGuard {
    TWorkerPool& Pool;
    ~TEndGuard() { Pool.WorkerEnded(); }
  };

  mutable std::mutex lock_;
  std::vector<TExecLoop*> parked_;               // guarded by lock_; in the order they parked
  int16_t spareThreads_ = kDefaultSpareThreads;  // guarded by lock_
  std::size_t workers_ = 0;                      // guarded by lock_
  std::condition_variable workersEnded_;         // signalled when workers_ drops to 0
};

}  // namespace webtessl
