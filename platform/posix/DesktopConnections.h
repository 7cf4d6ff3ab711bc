#pragma once

#include "common/Mutex.h"
#include "platform/posix/UniqueFd.h"

#include <deque>
#include <string>
#include <utility>

namespace webtessl::desktop {

class TIdleConnections;
// The one set of this process.
TIdleConnections& IdleConnections();

// Connections to windows' sockets that stayed open after a completed exchange, kept so that the
// next message to the same window needs no new connection. A connection is taken out while it
// is in use, so it serves one exchange at a time; one whose exchange failed is never given back.
// The receiver may close a kept connection at any time (its window went, or it keeps too many);
// the sender learns so when the first byte of its next frame is refused. Bounded: the oldest
// idle connection closes when a new one comes in beyond the limit, which leaves room for one to
// each window of a busy server (it keeps a window per connection thread). A child forked from
// this process starts with none, so that two processes never share one connection. Thread-safe.
class TIdleConnections final {
 public:
  TIdleConnections();
  TIdleConnections(const TIdleConnections&) = delete;
  TIdleConnections& operator=(const TIdleConnections&) = delete;

  // An idle connection to the socket at `path`, or an invalid one when there is none.
  TUniqueFd Take(const std::string& path);
  // Keeps the connection, whose last exchange completed, for the next message to `path`.
  void Give(const std::string& path, TUniqueFd connection);

 private:
  static constexpr size_t kMaxIdle = 64;
  // Forking holds the lock of the process's set, so that the child gets it in a whole state and
  // can empty it.
  static void BeforeFork() ACQUIRE(IdleConnections().mutex_);
  static void AfterForkInParent() RELEASE(IdleConnections().mutex_);
  static void AfterForkInChild() RELEASE(IdleConnections().mutex_);

  TMutex mutex_;
  std::deque<std::pair<std::string, TUniqueFd>> idle_ GUARDED_BY(mutex_);  // the oldest first
};

}  // namespace webtessl::desktop
