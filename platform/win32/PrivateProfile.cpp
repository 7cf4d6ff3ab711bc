// Win32 backend of platform/PrivateProfile.h: the system's private-profile reader, with its own
// rules (a file name without a folder is looked for in the Windows folder).

#include "platform/PrivateProfile.h"

#include "platform/win32/WinApi.h"

namespace webtessl {

std::string ReadProfileString(std::string_view section, std::string_view key,
                              std::string_view defaultValue, const std::string& fileName) {
  char value[kProfileValueMaxLength + 1] = {};
  const DWORD length = ::GetPrivateProfileStringA(
      std::string(section).c_str(), std::string(key).c_str(), std::string(defaultValue).c_str(),
      value, sizeof(value), fileName.c_str());
  return std::string(value, length);
}

// The system keeps its own copy of a private-profile file, so nothing is read here.
TProfileSnapshot::TProfileSnapshot(const std::string& fileName) : fileName_(fileName) {}

std::string TProfileSnapshot::ReadString(std::string_view section, std::string_view key,
                                         std::string_view defaultValue) const {
  return ReadProfileString(section, key, defaultValue, fileName_);
}

}  // namespace webtessl
