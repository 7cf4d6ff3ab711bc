#include "http/HTTPRequestHandlers.h"

#include <cstdio>
#include <utility>

namespace webtessl {
namespace {

constexpr const char* kListIndexError = "List index out of bounds (%d)";

std::string ListIndexMessage(int index) {
  const int length = std::snprintf(nullptr, 0, kListIndexError, index);
  std::string text(static_cast<size_t>(length), '\0');
  std::snprintf(text.data(), text.size() + 1, kListIndexError, index);
  return text;
}

}  // namespace

void THTTPRequestHandlers::Add(IRequestHandlerRef handler) {
  const TMutexLock guard(lock_);
  handlers_.push_back(std::move(handler));
}

int THTTPRequestHandlers::Count() const {
  const TMutexLock guard(lock_);
  return static_cast<int>(handlers_.size());
}

IRequestHandlerRef THTTPRequestHandlers::Get(int index) const {
  const TMutexLock guard(lock_);
  if (index < 0 || static_cast<size_t>(index) >= handlers_.size()) {
    throw EListError(ListIndexMessage(index));
  }
  return handlers_[static_cast<size_t>(index)];
}

void THTTPRequestHandlers::Clear() {
  std::vector<IRequestHandlerRef> released;
  {
    const TMutexLock guard(lock_);
    released.swap(handlers_);
  }
  // Release outside the lock and in list order, so a handler's destructor never runs under it.
  for (IRequestHandlerRef& handler : released) handler.reset();
}

}  // namespace webtessl
