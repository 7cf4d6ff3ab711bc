// Win32 backend of platform/Registry.h: the current user's registry. A key's values are read
// when it is opened, so that an opened key stays immutable.

#include "platform/Registry.h"

#include "platform/win32/WinApi.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "common/AsciiText.h"

namespace webtessl {
namespace {

// Value names are at most 16383 characters long.
constexpr DWORD kMaxValueNameLength = 16384;
constexpr char kUserProfileVariable[] = "USERPROFILE";
constexpr char kUserHiveFile[] = "\\NTUSER.DAT";

struct TKeyCloser {
  void operator()(HKEY key) const { ::RegCloseKey(key); }
};
using TUniqueKey = std::unique_ptr<std::remove_pointer_t<HKEY>, TKeyCloser>;

// Text data ends in one or more NULs that are not part of the text.
std::string TextOf(const std::vector<BYTE>& data) {
  std::string text(reinterpret_cast<const char*>(data.data()), data.size());
  return text.substr(0, text.find('\0'));
}

TRegistryValue ValueOf(DWORD type, const std::vector<BYTE>& data) {
  TRegistryValue value;
  if (type == REG_SZ || type == REG_EXPAND_SZ) {
    value.kind = TRegistryValue::TKind::Text;
    value.text = TextOf(data);
  } else if (type == REG_DWORD && data.size() == sizeof(uint32_t)) {
    value.kind = TRegistryValue::TKind::Number;
    std::memcpy(&value.number, data.data(), sizeof(uint32_t));
  }
  return value;
}

// The value at `index` with its name; false when there are no more values.
bool ReadValue(HKEY key, DWORD index, std::string& name, TRegistryValue& value) {
  for (;;) {
    std::vector<char> nameBuffer(kMaxValueNameLength);
    DWORD nameLength = kMaxValueNameLength;
    DWORD type = 0;
    DWORD dataSize = 0;
    LONG status = ::RegEnumValueA(key, index, nameBuffer.data(), &nameLength, nullptr, &type,
                                  nullptr, &dataSize);
    if (status != ERROR_SUCCESS) return false;
    std::vector<BYTE> data(dataSize);
    nameLength = kMaxValueNameLength;
    status = ::RegEnumValueA(key, index, nameBuffer.data(), &nameLength, nullptr, &type,
                             data.data(), &dataSize);
    if (status == ERROR_MORE_DATA) continue;  // the value grew in between: read it again
    if (status != ERROR_SUCCESS) return false;
    data.resize(dataSize);
    name.assign(nameBuffer.data(), nameLength);
    value = ValueOf(type, data);
    return true;
  }
}

}  // namespace

// Windows keeps the current user's registry in the hive file of the user's profile.
std::string CurrentUserRegistryFile() {
  const char* profile = std::getenv(kUserProfileVariable);
  return std::string(profile != nullptr ? profile : "") + kUserHiveFile;
}

std::optional<TRegistryKey> TRegistryKey::OpenCurrentUser(std::string_view keyPath) {
  HKEY opened = nullptr;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, std::string(keyPath).c_str(), 0, KEY_READ, &opened) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  const TUniqueKey key(opened);
  TRegistryKey result;
  std::string name;
  TRegistryValue value;
  for (DWORD index = 0; ReadValue(key.get(), index, name, value); ++index) {
    result.values_.emplace_back(name, value);
  }
  return result;
}

std::optional<TRegistryValue> TRegistryKey::Value(std::string_view name) const {
  const auto found = std::find_if(values_.begin(), values_.end(),
                                  [&](const auto& entry) { return SameText(entry.first, name); });
  if (found == values_.end()) return std::nullopt;
  return found->second;
}

}  // namespace webtessl
