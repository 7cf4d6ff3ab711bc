#pragma once

#include <optional>
#include <string>

#include "platform/win32/WinApi.h"

namespace webtessl::win32 {

// The path of the open file or folder as the system records it (links resolved, letter case
// and short names as stored), without the long-path prefix: "C:\x" or "\\server\share\x".
// Nothing when the system cannot tell. Thread-safe.
std::optional<std::string> FinalPathOf(HANDLE file);

// Whether `path` is `folder` itself or lies below it; both in the form FinalPathOf gives, compared
// without regard to letter case, as the file system does.
bool LiesWithin(const std::string& path, const std::string& folder);

}  // namespace webtessl::win32
