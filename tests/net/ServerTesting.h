#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace webtessl::testing {

// Waits up to five seconds for the condition; true when it came.
inline bool WaitFor(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace webtessl::testing
