#include "tessel/IndexerWake.h"

#include <malloc.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

#include "platform/posix/UniqueFd.h"

namespace webtessl {

// An eventfd counts the wakes; the wait polls it together with the watch descriptor.
struct TIndexerWake::TImpl {
  TUniqueFd wakeFd{::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)};
};

TIndexerWake::TIndexerWake() : impl_(std::make_unique<TImpl>()) {}

TIndexerWake::~TIndexerWake() = default;

void TIndexerWake::Wake() const {
  const uint64_t one = 1;
  if (impl_->wakeFd.Valid()) (void)!::write(impl_->wakeFd.Get(), &one, sizeof one);
}

void TIndexerWake::Wait(int watchFd, int timeoutMs) const {
  pollfd fds[2] = {{impl_->wakeFd.Get(), POLLIN, 0}, {watchFd, POLLIN, 0}};
  ::poll(fds, watchFd >= 0 ? 2 : 1, timeoutMs);
  uint64_t drained = 0;
  (void)!::read(impl_->wakeFd.Get(), &drained, sizeof drained);
}

void ReturnFreeMemory() {
  ::malloc_trim(0);
}

}  // namespace webtessl
