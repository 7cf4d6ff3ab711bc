#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/Mutex.h"

namespace webtessl {

// Checks the "Authorization" header of a request against one user name and a stored password
// hash ("Basic" scheme: the name and password in base64, in the clear on the wire, so behind TLS
// where the network is not trusted). A slow hash costs tens of milliseconds, so credentials
// once found right are remembered (a few, as the exact header text) and later compared in
// constant time without hashing again. Thread-safe.
class TBasicAuthentication {
 public:
  // The challenge that asks a browser for the name and password.
  static constexpr const char* kChallenge = "Basic realm=\"WebTessl\", charset=\"UTF-8\"";

  TBasicAuthentication(std::string userName, std::string passwordHash);

  // True when the header carries the right name and password.
  bool Admits(std::string_view authorization) const;

 private:
  bool Remembered(std::string_view authorization) const;
  void Remember(std::string_view authorization) const;

  const std::string userName_;
  const std::string passwordHash_;
  mutable TMutex lock_;
  mutable std::vector<std::string> admitted_ GUARDED_BY(lock_);
};

}  // namespace webtessl
