#include "common/ThreadEnd.h"

#include <utility>
#include <vector>

namespace webtessl {
namespace {

using TEndWork = std::vector<std::function<void()>>;

// The work list of the calling thread's RunThreadBody; a plain pointer, which needs no
// destruction at the thread's end.
thread_local TEndWork* threadEndWork = nullptr;

void RunEndWork(TEndWork& work) noexcept {
  while (!work.empty()) {
    const std::function<void()> next = std::move(work.back());
    work.pop_back();
    try {
      next();
    } catch (...) {
      // The thread is ending: an error here has no one to reach, and the rest must still run.
    }
  }
}

// Runs the end work when RunThreadBody leaves, however it leaves, and forgets the list.
class TEndWorkScope {
 public:
  TEndWorkScope() : outer_(std::exchange(threadEndWork, &work_)) {}
  ~TEndWorkScope() {
    RunEndWork(work_);
    threadEndWork = outer_;
  }
  TEndWorkScope(const TEndWorkScope&) = delete;
  TEndWorkScope& operator=(const TEndWorkScope&) = delete;

 private:
  TEndWork work_;
  TEndWork* const outer_;
};

}  // namespace

void RunThreadBody(const std::function<void()>& body) {
  const TEndWorkScope scope;
  body();
}

bool AtThreadEnd(std::function<void()> atEnd) {
  if (threadEndWork == nullptr) return false;
  threadEndWork->push_back(std::move(atEnd));
  return true;
}

}  // namespace webtessl
