#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "net/blcksock.h"

namespace webtessl::testing {

// A loopback port that was free a moment ago (bound once and released).
inline std::string FreeLoopbackPort() {
  TTCPBlockSocket probe;
  probe.Bind("127.0.0.1", "0");
  return std::to_string(AddressPort(probe.LocalAddress()));
}

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
