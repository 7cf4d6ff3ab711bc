// Win32 backend of platform/Paths.h: "\" paths with drive colons.

#include "platform/Paths.h"

#include "platform/win32/WinApi.h"

#include <shlobj.h>

#include <vector>

namespace webtessl {

const char kPathDelimiter = '\\';
const char kExecutableSuffix[] = ".exe";

namespace {

constexpr char kDriveDelimiter = ':';
constexpr DWORD kFirstPathBuffer = MAX_PATH;

}  // namespace

// The roaming application-data folder, created when absent (the create flag).
std::string AppDataFolder() {
  wchar_t folder[MAX_PATH] = {};
  if (::SHGetSpecialFolderPathW(nullptr, folder, CSIDL_APPDATA, TRUE) == FALSE) return {};
  return win32::FromWide(folder);
}

std::string ProgramFilePath() {
  std::vector<char> buffer(kFirstPathBuffer);
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) return std::string(buffer.data(), length);
    buffer.resize(buffer.size() * 2);  // the name was cut to the buffer
  }
}

std::string ExtractFilePath(std::string_view path) {
  const size_t delimiter = path.find_last_of(std::string{kPathDelimiter, kDriveDelimiter});
  if (delimiter == std::string_view::npos) return {};
  return std::string(path.substr(0, delimiter + 1));
}

bool IsAbsolutePath(std::string_view path) {
  const auto isDelimiter = [](char c) { return c == '\\' || c == '/'; };
  if (path.size() >= 2 && isDelimiter(path[0]) && isDelimiter(path[1])) return true;
  const bool driveLetter = path.size() >= 3 && ((path[0] >= 'A' && path[0] <= 'Z') ||
                                                (path[0] >= 'a' && path[0] <= 'z'));
  return driveLetter && path[1] == kDriveDelimiter && isDelimiter(path[2]);
}

}  // namespace webtessl
