#pragma once

#include <mutex>
#include <shared_mutex>

#include "common/Mutex.h"

// A reader/writer mutex for clang's thread-safety analysis, beside the plain one in Mutex.h. A
// member declared GUARDED_BY(sharedMutex_) may then be read under a TReaderLock or a TWriterLock
// and written only under a TWriterLock (or in functions declared REQUIRES_SHARED / REQUIRES).

#define ACQUIRE_SHARED(...) WEBTESSL_THREAD_ATTRIBUTE(acquire_shared_capability(__VA_ARGS__))
#define RELEASE_SHARED(...) WEBTESSL_THREAD_ATTRIBUTE(release_shared_capability(__VA_ARGS__))
#define REQUIRES_SHARED(...) WEBTESSL_THREAD_ATTRIBUTE(requires_shared_capability(__VA_ARGS__))

namespace webtessl {

// Many readers or one writer. Readers and writers both pass a gate before they wait for the lock
// itself, so a writer that waits holds the gate and later readers queue behind it: a steady
// stream of readers cannot keep a writer out. Thread-safe.
class CAPABILITY("shared mutex") TSharedMutex final {
 public:
  TSharedMutex() = default;
  TSharedMutex(const TSharedMutex&) = delete;
  TSharedMutex& operator=(const TSharedMutex&) = delete;

  void Lock() ACQUIRE() {
    const std::lock_guard gate(gate_);
    mutex_.lock();
  }
  void Unlock() RELEASE() { mutex_.unlock(); }
  void LockShared() ACQUIRE_SHARED() {
    const std::lock_guard gate(gate_);
    mutex_.lock_shared();
  }
  void UnlockShared() RELEASE_SHARED() { mutex_.unlock_shared(); }

 private:
  std::mutex gate_;
  std::shared_mutex mutex_;
};

// Holds a TSharedMutex for reading from construction to destruction. Belongs to its thread.
class SCOPED_CAPABILITY TReaderLock final {
 public:
  explicit TReaderLock(TSharedMutex& mutex) ACQUIRE_SHARED(mutex) : mutex_(mutex) {
    mutex_.LockShared();
  }
  ~TReaderLock() RELEASE() { mutex_.UnlockShared(); }
  TReaderLock(const TReaderLock&) = delete;
  TReaderLock& operator=(const TReaderLock&) = delete;

 private:
  TSharedMutex& mutex_;
};

// Holds a TSharedMutex alone from construction to destruction. Belongs to its thread.
class SCOPED_CAPABILITY TWriterLock final {
 public:
  explicit TWriterLock(TSharedMutex& mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_.Lock(); }
  ~TWriterLock() RELEASE() { mutex_.Unlock(); }
  TWriterLock(const TWriterLock&) = delete;
  TWriterLock& operator=(const TWriterLock&) = delete;

 private:
  TSharedMutex& mutex_;
};

}  // namespace webtessl
