#pragma once

#include <memory>

namespace webtessl {

// Wakes the indexer's thread: any thread calls Wake; the indexer's thread sleeps in Wait until
// woken, until folder watch events are readable on watchFd, or until the time passes. A Wake
// before the Wait is not lost. Thread-safe.
class TIndexerWake {
 public:
  TIndexerWake();
  ~TIndexerWake();
  TIndexerWake(const TIndexerWake&) = delete;
  TIndexerWake& operator=(const TIndexerWake&) = delete;

  void Wake() const;
  // Sleeps at most timeoutMs (-1: no limit); watchFd -1 watches nothing.
  void Wait(int watchFd, int timeoutMs) const;

 private:
  struct TImpl;
  const std::unique_ptr<TImpl> impl_;
};

// Gives memory that the process held only for a while back to the system, where it can.
void ReturnFreeMemory();

}  // namespace webtessl
