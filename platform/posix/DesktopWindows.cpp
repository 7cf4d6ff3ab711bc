#include "platform/posix/DesktopWindows.h"

#include <unistd.h>

namespace webtessl::desktop {

void TLocalWindow::Post(const TMessage& msg) {
  {
    TMutexLock lock(mutex_);
    queue_.push_back(msg);
  }
  // The owner finds its own posts in the queue before it waits; only others must wake it.
  if (OwnedByCaller()) return;
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = ::write(wake_.Get(), &one, sizeof one);
}

void TLocalWindow::DrainWake() const {
  uint64_t count = 0;
  [[maybe_unused]] const ssize_t readBytes = ::read(wake_.Get(), &count, sizeof count);
}

std::vector<int> TLocalWindow::KeptFds() const {
  std::vector<int> fds;
  fds.reserve(kept_.size());
  for (const TUniqueFd& connection : kept_) fds.push_back(connection.Get());
  return fds;
}

// Never destroyed: a thread that ends while the program's static objects are being destroyed
// (its windows close as it ends) still finds the table.
TWindowTable& Windows() {
  static TWindowTable* const table = new TWindowTable;
  return *table;
}

TWindowPtr CallersWindow(TWindowHandle handle) {
  TWindowPtr window = Windows().Find(handle);
  return window && window->OwnedByCaller() ? window : nullptr;
}

}  // namespace webtessl::desktop
