#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "common/Exception.h"
#include "common/Mutex.h"
#include "http/RequestHandlerIntf.h"

namespace webtessl {

// An index outside a list was used.
class EListError : public Exception {
 public:
  explicit EListError(const std::string& message) : Exception("EListError", message) {}
};

// The ordered chain of request handlers of the dispatching server; it holds a counted reference
// to each. Thread-safe: every operation takes the list's own lock, held only for that operation
// (never while a handler runs).
class THTTPRequestHandlers {
 public:
  THTTPRequestHandlers() = default;
  THTTPRequestHandlers(const THTTPRequestHandlers&) = delete;
  THTTPRequestHandlers& operator=(const THTTPRequestHandlers&) = delete;

  // Appends a handler; the list keeps its own counted reference. Thread-safe.
  void Add(IRequestHandlerRef handler);
  // The number of handlers. Thread-safe.
  int Count() const;
  // A new counted reference to the handler at the index; raises EListError
  // "List index out of bounds (%d)" outside 0..Count-1. Thread-safe.
  IRequestHandlerRef Get(int index) const;
  // Releases every handler reference, in list order. Thread-safe.
  void Clear();

 private:
  mutable TMutex lock_;
  std::vector<IRequestHandlerRef> handlers_ GUARDED_BY(lock_);
};

}  // namespace webtessl
