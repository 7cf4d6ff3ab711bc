#pragma once

#include <cstdint>
#include <string>

namespace webtessl {

// Socket error codes that the socket layer sets by itself (Winsock numbering).
inline constexpr int32_t kSocketNoError = 0;
inline constexpr int32_t kSocketWouldBlock = 10035;
inline constexpr int32_t kSocketInProgress = 10036;
inline constexpr int32_t kSocketLineTooLong = 10055;
inline constexpr int32_t kSocketNoBuffers = 10055;  // the same code, for want of memory
inline constexpr int32_t kSocketConnectionReset = 10054;
inline constexpr int32_t kSocketTimedOut = 10060;

// The text of a socket error code: empty for 0, the table's text for a known code, else
// "Other Winsock error (<code>)". Thread-safe.
std::string SocketErrorText(int32_t code);

}  // namespace webtessl
