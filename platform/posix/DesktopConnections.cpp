#include "platform/posix/DesktopConnections.h"

#include <pthread.h>

#include <algorithm>

namespace webtessl::desktop {

TIdleConnections::TIdleConnections() {
  ::pthread_atfork(BeforeFork, AfterForkInParent, AfterForkInChild);
}

// Forking holds the lock, so that the child gets the set in a whole state and can empty it.
void TIdleConnections::BeforeFork() {
  IdleConnections().mutex_.lock();
}
void TIdleConnections::AfterForkInParent() {
  IdleConnections().mutex_.unlock();
}
void TIdleConnections::AfterForkInChild() {
  TIdleConnections& connections = IdleConnections();
  connections.idle_.clear();
  connections.mutex_.unlock();
}

TUniqueFd TIdleConnections::Take(const std::string& path) {
  std::lock_guard lock(mutex_);
  const auto found = std::find_if(idle_.rbegin(), idle_.rend(),
                                  [&](const auto& entry) { return entry.first == path; });
  if (found == idle_.rend()) return {};
  TUniqueFd connection = std::move(found->second);
  idle_.erase(std::next(found).base());
  return connection;
}

void TIdleConnections::Give(const std::string& path, TUniqueFd connection) {
  std::lock_guard lock(mutex_);
  if (idle_.size() >= kMaxIdle) idle_.pop_front();
  idle_.emplace_back(path, std::move(connection));
}

TIdleConnections& IdleConnections() {
  static TIdleConnections connections;
  return connections;
}

}  // namespace webtessl::desktop
