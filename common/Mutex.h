#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <shared_mutex>

// A mutex and a scoped lock that clang's thread-safety analysis understands, and the attributes
// that tie data to the mutex guarding it. A member declared
//
//   std::string waiting_ GUARDED_BY(lock_);
//
// can then be read or written only where lock_ is visibly held (a TMutexLock on it in scope, or a
// function declared REQUIRES(lock_)), and clang builds stop on any other use. Other compilers
// see plain declarations. These are attributes, which no function can attach: hence macros.
//
// The analysis does not look into a lambda passed as a wait's predicate, so a wait for guarded
// data is a loop: while (!ready_) lock.Wait(readyChanged_);

#if defined(__clang__)
#define WEBTESSL_THREAD_ATTRIBUTE(x) __attribute__((x))
#else
#define WEBTESSL_THREAD_ATTRIBUTE(x)
#endif

#define CAPABILITY(x) WEBTESSL_THREAD_ATTRIBUTE(capability(x))
#define SCOPED_CAPABILITY WEBTESSL_THREAD_ATTRIBUTE(scoped_lockable)
#define GUARDED_BY(x) WEBTESSL_THREAD_ATTRIBUTE(guarded_by(x))
#define PT_GUARDED_BY(x) WEBTESSL_THREAD_ATTRIBUTE(pt_guarded_by(x))
#define REQUIRES(...) WEBTESSL_THREAD_ATTRIBUTE(requires_capability(__VA_ARGS__))
#define EXCLUDES(...) WEBTESSL_THREAD_ATTRIBUTE(locks_excluded(__VA_ARGS__))
#define ACQUIRE(...) WEBTESSL_THREAD_ATTRIBUTE(acquire_capability(__VA_ARGS__))
#define RELEASE(...) WEBTESSL_THREAD_ATTRIBUTE(release_capability(__VA_ARGS__))
#define ACQUIRE_SHARED(...) WEBTESSL_THREAD_ATTRIBUTE(acquire_shared_capability(__VA_ARGS__))
#define RELEASE_SHARED(...) WEBTESSL_THREAD_ATTRIBUTE(release_shared_capability(__VA_ARGS__))
#define REQUIRES_SHARED(...) WEBTESSL_THREAD_ATTRIBUTE(requires_shared_capability(__VA_ARGS__))
#define TRY_ACQUIRE(...) WEBTESSL_THREAD_ATTRIBUTE(try_acquire_capability(__VA_ARGS__))

namespace webtessl {

// A mutex the analysis can name. Thread-safe. Where the standard mutex is constant-initialised
// (glibc), so is a namespace-scope TMutex; the Windows thread library's is not, so none is locked
// from another file's static initialisation.
class CAPABILITY("mutex") TMutex final {
 public:
  TMutex() = default;
  TMutex(const TMutex&) = delete;
  TMutex& operator=(const TMutex&) = delete;

  void Lock() ACQUIRE() { mutex_.lock(); }
  void Unlock() RELEASE() { mutex_.unlock(); }
  // Takes the mutex only when no other thread holds it; true when taken.
  bool TryLock() TRY_ACQUIRE(true) { return mutex_.try_lock(); }

 private:
  friend class TMutexLock;
  std::mutex mutex_;
};

// Holds a TMutex from construction to destruction, and waits on condition variables with it.
// Belongs to the thread that made it.
class SCOPED_CAPABILITY TMutexLock final {
 public:
  explicit TMutexLock(TMutex& mutex) ACQUIRE(mutex) : lock_(mutex.mutex_) {}
  ~TMutexLock() RELEASE() {}
  TMutexLock(const TMutexLock&) = delete;
  TMutexLock& operator=(const TMutexLock&) = delete;

  // Lets the mutex go for a while (a slow write that needs no guarded data) and takes it again.
  void Unlock() RELEASE() { lock_.unlock(); }
  void Lock() ACQUIRE() { lock_.lock(); }

  // Lets the mutex go until the condition variable is notified (or wakes spuriously): the caller
  // checks its condition again in a loop, with the mutex held.
  void Wait(std::condition_variable& condition) { condition.wait(lock_); }

  // As Wait, but gives up at the deadline; false once it has passed.
  bool WaitUntil(std::condition_variable& condition,
                 std::chrono::steady_clock::time_point deadline) {
    return condition.wait_until(lock_, deadline) == std::cv_status::no_timeout;
  }

  // As Wait, but gives up after the duration; false once it has passed.
  template <class Rep, class Period>
  bool WaitFor(std::condition_variable& condition, std::chrono::duration<Rep, Period> duration) {
    return condition.wait_for(lock_, duration) == std::cv_status::no_timeout;
  }

 private:
  std::unique_lock<std::mutex> lock_;
};

// A mutex that many readers may hold at once, or one writer alone. Thread-safe.
class CAPABILITY("shared mutex") TSharedMutex final {
 public:
  TSharedMutex() = default;
  TSharedMutex(const TSharedMutex&) = delete;
  TSharedMutex& operator=(const TSharedMutex&) = delete;

  void Lock() ACQUIRE() { mutex_.lock(); }
  void Unlock() RELEASE() { mutex_.unlock(); }
  void LockShared() ACQUIRE_SHARED() { mutex_.lock_shared(); }
  void UnlockShared() RELEASE_SHARED() { mutex_.unlock_shared(); }

 private:
  std::shared_mutex mutex_;
};

// Holds a TSharedMutex alone (a writer) from construction to destruction. Belongs to the thread
// that made it.
class SCOPED_CAPABILITY TWriterLock final {
 public:
  explicit TWriterLock(TSharedMutex& mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_.Lock(); }
  ~TWriterLock() RELEASE() { mutex_.Unlock(); }
  TWriterLock(const TWriterLock&) = delete;
  TWriterLock& operator=(const TWriterLock&) = delete;

 private:
  TSharedMutex& mutex_;
};

// Holds a TSharedMutex shared with other readers from construction to destruction. Belongs to
// the thread that made it.
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

}  // namespace webtessl
