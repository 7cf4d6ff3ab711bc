#include "files/DownloadRefusal.h"

#include <algorithm>

#include "files/PathText.h"
#include "platform/FileSystem.h"

namespace webtessl {
namespace {

// Whether the resolved path is the folder itself or lies below it.
bool LiesInside(const std::string& path, const std::string& folder) {
  if (path == folder) return true;
  const std::string prefix = EnsureTrailingSeparator(folder);
  return path.size() > prefix.size() && path.starts_with(prefix);
}

// Paths are compared in their canonical form: on Windows "SECRET" or "SECRE~1" cannot pass for
// another folder than "secret".
bool LiesInsideAny(const std::string& path, const std::vector<std::string>& folders) {
  return std::any_of(folders.begin(), folders.end(), [&path](const std::string& folder) {
    if (folder.empty()) return false;
    const std::optional<std::string> resolved = CanonicalPath(folder);
    return resolved && LiesInside(path, *resolved);
  });
}

bool HasFolders(const std::vector<std::string>& folders) {
  return std::any_of(folders.begin(), folders.end(),
                     [](const std::string& folder) { return !folder.empty(); });
}

}  // namespace

std::optional<std::string> AllowedDownloadPath(std::string_view path,
                                               const std::vector<std::string>& dirs,
                                               const std::vector<std::string>& excludeDirs) {
  std::optional<std::string> resolved = CanonicalPath(path);
  if (!resolved || !IsRealPathAllowed(path, *resolved, dirs, excludeDirs)) return std::nullopt;
  return resolved;
}

bool IsRealPathAllowed(std::string_view requested, const std::string& realPath,
                       const std::vector<std::string>& dirs,
                       const std::vector<std::string>& excludeDirs) {
  if (HasHiddenSegment(requested) || HasHiddenSegment(realPath)) return false;
  if (HasFolders(dirs) && !LiesInsideAny(realPath, dirs)) return false;
  return !LiesInsideAny(realPath, excludeDirs);
}

}  // namespace webtessl
