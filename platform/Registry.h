#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Exception.h"

namespace webtessl {

// A registry value was read as a type it does not hold.
class ERegistryException : public Exception {
 public:
  explicit ERegistryException(const std::string& message)
      : Exception("ERegistryException", message) {}
};

// One value of a registry key: text, a 32-bit number, or something else (binary, lists, ...).
struct TRegistryValue {
  enum class TKind { Text, Number, Other };
  TKind kind = TKind::Other;
  std::string text;
  uint32_t number = 0;
};

// A key of the current user's registry, opened for reading: the per-user file "hkcu.reg" in the
// application-data folder, in the registry export format ("[HKEY_CURRENT_USER\Software\...]"
// sections of "name"="text" and "name"=dword:0000002a lines). Keys and value names compare
// without regard to case. Immutable once opened: thread-safe.
class TRegistryKey {
 public:
  // The key under HKEY_CURRENT_USER at `keyPath` ("Software\Nalo\Tessel"); nothing when absent.
  static std::optional<TRegistryKey> OpenCurrentUser(std::string_view keyPath);

  // The named value; nothing when the key has no such value.
  std::optional<TRegistryValue> Value(std::string_view name) const;

 private:
  std::vector<std::pair<std::string, TRegistryValue>> values_;
};

// The file that holds the current user's registry.
std::string CurrentUserRegistryFile();

}  // namespace webtessl
