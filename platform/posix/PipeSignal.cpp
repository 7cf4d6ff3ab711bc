#include "platform/posix/PipeSignal.h"

#include <csignal>

#include <atomic>

namespace webtessl {
namespace {

std::atomic<bool> ignored{false};

}  // namespace

bool BrokenPipeIgnored() {
  return ignored.load(std::memory_order_acquire);
}

void IgnoreBrokenPipeForGood() {
  std::signal(SIGPIPE, SIG_IGN);
  ignored.store(true, std::memory_order_release);
}

}  // namespace webtessl
