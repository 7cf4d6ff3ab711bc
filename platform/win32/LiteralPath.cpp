#include "platform/win32/LiteralPath.h"

#include <algorithm>
#include <iterator>

#include "common/AsciiText.h"

namespace webtessl::win32 {
namespace {

// Characters that a directory search would take as a pattern rather than literally.
constexpr std::string_view kWildcards = std::string_view("*?\0", 3);
constexpr std::string_view kSeparators = "\\/";
// Names that open a device rather than a file, in any folder; also COM1-9 and LPT1-9.
constexpr std::string_view kDeviceNames[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};

bool IsSeparator(char c) {
  return kSeparators.find(c) != std::string_view::npos;
}

// A device name ("CON", "nul.txt", "COM1 ") in any segment opens a device wherever it stands.
bool IsDeviceName(std::string_view segment) {
  segment = segment.substr(0, segment.find('.'));
  while (!segment.empty() && segment.back() == ' ') segment.remove_suffix(1);
  if (segment.size() == 4 && (StartsWithText(segment, "COM") || StartsWithText(segment, "LPT"))) {
    return segment[3] >= '1' && segment[3] <= '9';
  }
  return std::any_of(std::begin(kDeviceNames), std::end(kDeviceNames),
                     [&](std::string_view device) { return SameText(segment, device); });
}

bool NamesDevice(std::string_view path) {
  for (size_t start = 0; start <= path.size();) {
    size_t end = path.find_first_of(kSeparators, start);
    if (end == std::string_view::npos) end = path.size();
    if (IsDeviceName(path.substr(start, end - start))) return true;
    start = end + 1;
  }
  return false;
}

// "\\.\name" reaches devices and pipes ("\\.\pipe\x", "\\.\PhysicalDrive0"), and opening a
// pipe would connect to it. ("\\?\name" holds a wildcard and is refused as such.)
bool InDeviceNamespace(std::string_view path) {
  return path.size() >= 4 && IsSeparator(path[0]) && IsSeparator(path[1]) && path[2] == '.' &&
         IsSeparator(path[3]);
}

}  // namespace

bool IsLiteralPath(std::string_view path) {
  if (path.empty() || path.find_first_of(kWildcards) != std::string_view::npos) return false;
  if (InDeviceNamespace(path)) return false;
  const size_t colon = path.find(':');
  if (colon != std::string_view::npos && (colon != 1 || path.find(':', colon + 1) != path.npos)) {
    return false;
  }
  return !NamesDevice(path);
}

}  // namespace webtessl::win32
