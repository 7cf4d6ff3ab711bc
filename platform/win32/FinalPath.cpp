#include "platform/win32/FinalPath.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace webtessl::win32 {
namespace {

// The longest path the system reports, and the prefixes it writes before it.
constexpr DWORD kLongestPath = 32768;
constexpr std::string_view kLongPathPrefix = "\\\\?\\";
constexpr std::string_view kUncPrefix = "\\\\?\\UNC\\";

bool SameLetters(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

std::optional<std::string> FinalPathOf(HANDLE file) {
  std::string resolved(kLongestPath, '\0');
  const DWORD length = ::GetFinalPathNameByHandleA(file, resolved.data(), kLongestPath,
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (length == 0 || length >= kLongestPath) return std::nullopt;
  resolved.resize(length);
  if (resolved.starts_with(kUncPrefix)) return "\\\\" + resolved.substr(kUncPrefix.size());
  if (resolved.starts_with(kLongPathPrefix)) return resolved.substr(kLongPathPrefix.size());
  return resolved;
}

bool LiesWithin(const std::string& path, const std::string& folder) {
  if (SameLetters(path, folder)) return true;
  const std::string prefix = folder.ends_with('\\') ? folder : folder + '\\';
  return path.size() > prefix.size() &&
         SameLetters(std::string_view(path).substr(0, prefix.size()), prefix);
}

}  // namespace webtessl::win32
