#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "platform/DesktopMessages.h"
#include "search/ProcessCommunicator.h"

namespace webtessl::testing_peer {

constexpr char kPeerTitle[] = "AI_Tessel_RPC_Server";

// What an endpoint's OnData received.
struct TReceived {
  int calls = 0;
  std::string from;
  TBytes buf;
};

// Gives the endpoint a name as the search handler does and records what OnData hands it.
inline void Prepare(TCommunicator& endpoint, TReceived& received, const std::string& name) {
  endpoint.SetName(name);
  endpoint.OnData = [&received](TCommunicator&, const std::string& from, const TBytes& buf) {
    ++received.calls;
    received.from = from;
    received.buf = buf;
  };
}

// Pumps the endpoint's window as the search handler's wait does, until `done` or limitMs.
inline void PumpUntil(const TCommunicator& endpoint, const std::function<bool()>& done,
                      int limitMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  while (!done() && std::chrono::steady_clock::now() < end) {
    TMessage msg;
    while (PeekMessage(msg, endpoint.Handle(), PM_REMOVE)) DispatchMessage(msg);
    if (!done()) WaitMessageTimeout(endpoint.Handle(), 20);
  }
}

inline std::string Text(const TBytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

}  // namespace webtessl::testing_peer
