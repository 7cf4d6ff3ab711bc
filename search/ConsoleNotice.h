#pragma once

#include <string>

#include "common/Mutex.h"

namespace webtessl {

// A notice for the operator about a lasting condition (a program that cannot start, a folder
// that is refused), said on the console once rather than at every request that meets it: a
// text is said again only after another one was said or the condition cleared. Control
// characters are shown as "?", so that a path cannot forge console lines. Thread-safe.
class TConsoleNotice {
 public:
  void Say(const std::string& text);
  // The condition is gone: the next text is said even when it is the last one again.
  void Clear();

 private:
  TMutex mutex_;
  std::string said_ GUARDED_BY(mutex_);
};

}  // namespace webtessl
