#include "platform/posix/DesktopConnections.h"

#include <pthread.h>

#include <algorithm>

namespace webtessl::desktop {

TIdleConnections::TIdleConnections() {
  ::pthread_atfork(BeforeFork, AfterForkInParent, AfterForkInChild);
}

void TIdleConnections::BeforeFork() {
  IdleConnections().mutex_.Lock();
}
void TIdleConnections::AfterForkInParent() {
  IdleConnections().mutex_.Unlock();
}
void TIdleConnections::AfterForkInChild() {
  IdleConnections().idle_.clear();
  IdleConnections().mutex_.Unlock();
}

TUniqueFd TIdleConnections::Take(const std::string& path) {
  TMutexLock lock(mutex_);
  const auto found = std::find_if(idle_.rbegin(), idle_.rend(),
                                  [&](const auto& entry) { return entry.first == path; });
  if (found == idle_.rend()) return {};
  TUniqueFd connection = std::move(found->second);
  idle_.erase(std::next(found).base());
  return connection;
}

void TIdleConnections::Give(const std::string& path, TUniqueFd connection) {
  TMutexLock lock(mutex_);
  if (idle_.size() >= kMaxIdle) idle_.pop_front();
  idle_.emplace_back(path, std::move(connection));
}

TIdleConnections& IdleConnections() {
  static TIdleConnections connections;
  return connections;
}

}  // namespace webtessl::desktop
