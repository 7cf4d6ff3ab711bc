#pragma once

#include <cstdint>
#include <string_view>

#include "net/SynapseError.h"
#include "platform/Sockets.h"

namespace webtessl {

// Module synsock: the process's use of the socket interface and the rules that turn an address
// text and a port text into a socket address. The interface is taken into use when the program
// starts, before its main sequence, and released when it ends; a failure there ends the program
// with exit code 1 before anything is served.

// Message of the failed start-up, and the exit code that follows it.
inline constexpr std::string_view kSocketInterfaceLoadError =
    "Error loading Socket interface (ws2_32.dll)!";
inline constexpr int kSocketInterfaceLoadExitCode = 1;

// Counts one more use of the socket interface, loading it on the first use. Raises
// ESynapseError (kSocketInterfaceLoadError, code 0) when it cannot be loaded. Thread-safe.
void SocketInterfaceStartup();

// Counts one use less; the last one releases the interface. Thread-safe.
void SocketInterfaceCleanup();

// Writes the report of an unhandled start-up error ("ESynapseError: <message>") to standard
// error and ends the process with kSocketInterfaceLoadExitCode. Thread-safe.
[[noreturn]] void ExitOnSocketInterfaceFailure(const ESynapseError& error);

// Resolves an address text and a port text (a decimal number or a known service name) for a
// TCP socket. "0.0.0.0" and "::0" give the wildcard address, "127.0.0.1" and "::1" loopback,
// any other text is looked up as a host name. With family Any, IPv4 is tried first and IPv6
// only when IPv4 fails. Returns 0 or the socket error code. Thread-safe.
int32_t ResolveAddressPair(std::string_view address, std::string_view port, TSocketFamily family,
                           TSocketAddress& resolved);

}  // namespace webtessl
