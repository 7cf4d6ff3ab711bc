#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <thread>
#include <vector>

#include "common/Mutex.h"

namespace webtessl {

// A fixed number of threads that run queued jobs, oldest first, so that a long search holds up
// one thread and not the others. At most `maxWaiting` jobs wait; more are refused. The destructor
// drops the jobs still waiting and waits for the running ones. Thread-safe.
class TQueryWorkers {
 public:
  TQueryWorkers(size_t threads, size_t maxWaiting);
  ~TQueryWorkers();
  TQueryWorkers(const TQueryWorkers&) = delete;
  TQueryWorkers& operator=(const TQueryWorkers&) = delete;

  // Queues the job; false when too many wait already.
  bool Post(std::function<void()> job);

 private:
  void Work();

  const size_t maxWaiting_;
  TMutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> waiting_ GUARDED_BY(mutex_);
  bool stopping_ GUARDED_BY(mutex_) = false;
  std::vector<std::thread> threads_;
};

}  // namespace webtessl
