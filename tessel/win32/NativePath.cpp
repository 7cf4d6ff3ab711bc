#include "tessel/NativePath.h"

#include <cctype>
#include <cstdlib>

namespace webtessl {
namespace {

constexpr char kHeldDelimiter = '/';
constexpr char kNativeDelimiter = '\\';
constexpr char kDriveDelimiter = ':';
constexpr char kProfileVariable[] = "USERPROFILE";

std::string WithDelimiter(std::string_view path, char from, char to) {
  std::string result(path);
  for (char& c : result) {
    if (c == from) c = to;
  }
  return result;
}

bool StartsWithDrive(std::string_view path) {
  return path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) &&
         path[1] == kDriveDelimiter;
}

}  // namespace

// "C:\a\b" (or "C:/a/b") is held as "/C:/a/b"; a path without a drive is not absolute and stays
// relative, so that it is refused like any relative path.
std::string FromNativePath(std::string_view path) {
  const std::string forward = WithDelimiter(path, kNativeDelimiter, kHeldDelimiter);
  if (!StartsWithDrive(forward))
    return forward.starts_with(kHeldDelimiter) ? forward.substr(1) : forward;
  return kHeldDelimiter + forward;
}

// "/C:/a/b" is "C:\a\b"; a held drive alone ("/C:") is its root folder "C:\".
std::string ToNativePath(std::string_view path) {
  if (path.starts_with(kHeldDelimiter)) path.remove_prefix(1);
  std::string native = WithDelimiter(path, kHeldDelimiter, kNativeDelimiter);
  if (native.size() == 2 && StartsWithDrive(native)) native += kNativeDelimiter;
  return native;
}

std::string HomeFolder() {
  const char* profile = std::getenv(kProfileVariable);
  return profile != nullptr ? profile : "";
}

}  // namespace webtessl
