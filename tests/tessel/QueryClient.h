#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "platform/DesktopMessages.h"
#include "search/ProcessCommunicator.h"

namespace webtessl::testing_tessel {

// Sends one message to tessel's window the way the server does and waits for the answer.
// Nothing when the message was not delivered or no answer came within waitMs.
inline std::optional<std::string> Ask(const std::string& message, uint32_t waitMs = 3000) {
  TCommunicator endpoint;
  endpoint.SetName("TesselTest" + std::to_string(endpoint.Handle()));
  std::optional<std::string> answer;
  endpoint.OnData = [&](TCommunicator&, const std::string&, const TBytes& bytes) {
    answer = std::string(bytes.begin(), bytes.end());
  };
  if (!endpoint.SendText("AI_Tessel_RPC_Server", message)) return std::nullopt;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  while (!answer && std::chrono::steady_clock::now() < end) {
    WaitMessageTimeout(endpoint.Handle(), 20);
    TMessage msg;
    while (PeekMessage(msg, endpoint.Handle(), PM_REMOVE)) DispatchMessage(msg);
  }
  return answer;
}

}  // namespace webtessl::testing_tessel
