#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <utility>

namespace webtessl {

// A thread that runs one method once and swallows any error that escapes it. It is created
// suspended; it either stays owned by its creator (Start; destroying it marks it terminated and
// waits for its body) or is handed to itself (StartSelfFreeing; it frees itself when its body
// ends). Threading: Terminate, Terminated and ThreadId are thread-safe; Start and destruction
// belong to the owner. Non-copyable.
class TSynThread {
 public:
  using TThreadMethod = std::function<void(TSynThread& thread)>;

  // Creates the thread suspended, with the method its body will call.
  explicit TSynThread(TThreadMethod method);
  // Marks the thread terminated and waits until its body has ended.
  ~TSynThread();
  TSynThread(const TSynThread&) = delete;
  TSynThread& operator=(const TSynThread&) = delete;

  // Starts the body; the caller keeps the object. Raises std::system_error when no thread can
  // be created. Owner only, once.
  void Start();
  // Starts the body of a thread that owns itself from now on and is freed when its body ends.
  // Returns its thread id. Raises std::system_error (and frees the object) when no thread can
  // be created.
  static std::thread::id StartSelfFreeing(std::unique_ptr<TSynThread> thread);

  // Asks the body to end; the method decides when it looks. Thread-safe.
  void Terminate() { terminated_.store(true); }
  bool Terminated() const { return terminated_.load(); }
  // The id of the running thread; the default id before it starts. Thread-safe.
  std::thread::id ThreadId() const { return threadId_.load(); }

  // Work to run once the body is over and the work it left for the thread's end is done (see
  // common/ThreadEnd.h): the last thing the thread does with anything outside itself. Owner
  // only, before the start.
  void SetOnEnded(std::function<void()> onEnded) { onEnded_ = std::move(onEnded); }

 private:
  void Body();

  const TThreadMethod method_;
  std::function<void()> onEnded_;
  std::atomic<bool> terminated_{false};
  std::atomic<std::thread::id> threadId_{};
  std::thread thread_;  // joinable only for an owned, started thread
};

}  // namespace webtessl
