#pragma once

#include <cerrno>

namespace webtessl {

// Makes a system call again for as long as it fails with EINTR (a signal arrived before it did
// anything) and returns its last result; any other failure is left in errno for the caller.
// For calls that may simply be repeated: not close(), which releases the descriptor either way.
template <typename SystemCall>
auto RetryInterrupted(SystemCall call) {
  for (;;) {
    const auto result = call();
    if (result >= 0 || errno != EINTR) return result;
  }
}

}  // namespace webtessl
