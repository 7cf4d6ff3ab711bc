#include "net/synsock.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "common/Mutex.h"

namespace webtessl {

namespace {

constexpr std::string_view kWildcardAddresses[] = {"0.0.0.0", "::0"};
constexpr std::string_view kLoopbackAddresses[] = {"127.0.0.1", "::1"};

// The use count of the socket interface.
TMutex interfaceLock;
int interfaceUses GUARDED_BY(interfaceLock) = 0;

bool IsOneOf(std::string_view text, const std::string_view (&candidates)[2]) {
  return text == candidates[0] || text == candidates[1];
}

int32_t ResolveForFamily(std::string_view address, std::string_view port, TSocketFamily family,
                         TSocketAddress& resolved) {
  const bool wildcard = IsOneOf(address, kWildcardAddresses);
  const bool loopback = IsOneOf(address, kLoopbackAddresses);
  std::optional<std::string> node;
  if (!wildcard && !loopback) {
    node = std::string(address);
  }
  return ResolveSocketAddress(node, std::string(port), family, wildcard, resolved);
}

// Takes the socket interface into use for the whole life of the process, before main runs.
class TProcessSocketInterface {
 public:
  TProcessSocketInterface() {
    try {
      SocketInterfaceStartup();
    } catch (const ESynapseError& error) {
      ExitOnSocketInterfaceFailure(error);
    }
  }
  ~TProcessSocketInterface() { SocketInterfaceCleanup(); }
  TProcessSocketInterface(const TProcessSocketInterface&) = delete;
  TProcessSocketInterface& operator=(const TProcessSocketInterface&) = delete;
};

const TProcessSocketInterface processSocketInterface;

}  // namespace

void SocketInterfaceStartup() {
  const TMutexLock lock(interfaceLock);
  if (interfaceUses == 0 && !LoadSocketInterface()) {
    const std::string message(kSocketInterfaceLoadError);
    throw ESynapseError(message, 0, message);
  }
  ++interfaceUses;
}

void SocketInterfaceCleanup() {
  const TMutexLock lock(interfaceLock);
  if (interfaceUses > 0) {
    --interfaceUses;
  }
}

void ExitOnSocketInterfaceFailure(const ESynapseError& error) {
  std::fprintf(stderr, "%s: %s\n", error.ClassName().c_str(), error.what());
  std::fflush(stderr);
  std::_Exit(kSocketInterfaceLoadExitCode);
}

int32_t ResolveAddressPair(std::string_view address, std::string_view port, TSocketFamily family,
                           TSocketAddress& resolved) {
  if (family != TSocketFamily::Any) {
    return ResolveForFamily(address, port, family, resolved);
  }
  const int32_t error = ResolveForFamily(address, port, TSocketFamily::IPv4, resolved);
  if (error == 0) {
    return 0;
  }
  return ResolveForFamily(address, port, TSocketFamily::IPv6, resolved);
}

}  // namespace webtessl
