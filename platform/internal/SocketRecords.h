#pragma once

// The system's socket address records behind TSocketAddress, shared by the two socket backends.
// The records have the same fields on every system while their headers differ, so a backend
// includes this file after its system's socket headers (sockaddr, sockaddr_in, sockaddr_in6,
// AF_INET, AF_INET6, AF_UNSPEC).

#include <cstdint>

#include "platform/Sockets.h"

namespace webtessl::socket_records {

inline int NativeFamily(TSocketFamily family) {
  switch (family) {
    case TSocketFamily::IPv4:
      return AF_INET;
    case TSocketFamily::IPv6:
      return AF_INET6;
    case TSocketFamily::Any:
      break;
  }
  return AF_UNSPEC;
}

inline const sockaddr* NativeAddress(const TSocketAddress& address) {
  return reinterpret_cast<const sockaddr*>(address.Bytes.data());
}

inline sockaddr* NativeAddress(TSocketAddress& address) {
  return reinterpret_cast<sockaddr*>(address.Bytes.data());
}

inline int NativeLength(const TSocketAddress& address) {
  return NativeAddress(address)->sa_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
}

inline TSocketFamily FamilyOf(const TSocketAddress& address) {
  switch (NativeAddress(address)->sa_family) {
    case AF_INET:
      return TSocketFamily::IPv4;
    case AF_INET6:
      return TSocketFamily::IPv6;
    default:
      return TSocketFamily::Any;
  }
}

inline const sockaddr_in* IPv4Record(const TSocketAddress& address) {
  return reinterpret_cast<const sockaddr_in*>(address.Bytes.data());
}

inline const sockaddr_in6* IPv6Record(const TSocketAddress& address) {
  return reinterpret_cast<const sockaddr_in6*>(address.Bytes.data());
}

// The port of an IPv4 or IPv6 record, read from its bytes in network order; 0 for no address.
inline uint16_t PortOf(const TSocketAddress& address) {
  const void* port = nullptr;
  switch (FamilyOf(address)) {
    case TSocketFamily::IPv4:
      port = &IPv4Record(address)->sin_port;
      break;
    case TSocketFamily::IPv6:
      port = &IPv6Record(address)->sin6_port;
      break;
    case TSocketFamily::Any:
      return 0;
  }
  const auto* bytes = static_cast<const unsigned char*>(port);
  return static_cast<uint16_t>((bytes[0] << 8) | bytes[1]);
}

// The host address bytes of an IPv4 or IPv6 record, as the system's conversion to text takes
// them; nullptr for no address.
inline const void* HostBytesOf(const TSocketAddress& address) {
  switch (FamilyOf(address)) {
    case TSocketFamily::IPv4:
      return &IPv4Record(address)->sin_addr;
    case TSocketFamily::IPv6:
      return &IPv6Record(address)->sin6_addr;
    case TSocketFamily::Any:
      break;
  }
  return nullptr;
}

}  // namespace webtessl::socket_records
