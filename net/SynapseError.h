#pragma once

#include <cstdint>
#include <string>

#include "common/Exception.h"

namespace webtessl {

// The error that the socket layer raises: on the failed start-up of the socket interface, on a
// failed socket operation while RaiseOnError is on, and for a server started without a port.
// Its message reads "Synapse TCP/IP Socket error <code>: <text>" for socket failures.
// Thread-safe because immutable.
class ESynapseError : public Exception {
 public:
  ESynapseError(const std::string& message, int32_t errorCode, std::string errorMessage)
      : Exception("ESynapseError", message),
        errorCode_(errorCode),
        errorMessage_(std::move(errorMessage)) {}

  // The socket error code (Winsock numbering), 0 when the error is not a socket failure.
  int32_t ErrorCode() const noexcept { return errorCode_; }
  // The text of the code, or the message itself when there is no code.
  const std::string& ErrorMessage() const noexcept { return errorMessage_; }

 private:
  int32_t errorCode_;
  std::string errorMessage_;
};

// The error for a failed socket operation: the code and its text, in the message format above.
inline ESynapseError SocketFailure(int32_t code, const std::string& text) {
  return ESynapseError("Synapse TCP/IP Socket error " + std::to_string(code) + ": " + text, code,
                       text);
}

}  // namespace webtessl
