#include "platform/PasswordHash.h"

#include <crypt.h>

#include <memory>

#include "common/ConstantTime.h"

namespace webtessl {
namespace {

// yescrypt first, the strongest method the C library offers; SHA-512-crypt where it has none.
constexpr const char* kMethods[] = {"$y$", "$6$"};

// crypt_r over the password and a setting (a salt or a whole hash line); empty on failure.
std::string Crypt(std::string_view password, const char* setting) {
  const std::string key(password);
  auto data = std::make_unique<crypt_data>();  // large: not on the stack
  const char* result = crypt_r(key.c_str(), setting, data.get());
  // A failed crypt gives NULL or a text beginning with "*".
  if (result == nullptr || result[0] == '*') return {};
  return result;
}

}  // namespace

std::string HashPassword(std::string_view password) {
  for (const char* method : kMethods) {
    char salt[CRYPT_GENSALT_OUTPUT_SIZE] = {};
    // No random bytes given: the library takes them from the system's random source.
    if (crypt_gensalt_rn(method, 0, nullptr, 0, salt, sizeof(salt)) == nullptr) continue;
    std::string hash = Crypt(password, salt);
    if (!hash.empty()) return hash;
  }
  return {};
}

bool PasswordMatches(std::string_view password, std::string_view hashLine) {
  if (hashLine.empty() || hashLine.front() != '$') return false;
  const std::string setting(hashLine);
  const std::string computed = Crypt(password, setting.c_str());
  return !computed.empty() && SameBytesInConstantTime(computed, hashLine);
}

}  // namespace webtessl
