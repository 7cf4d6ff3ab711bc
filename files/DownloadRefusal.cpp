#include "files/DownloadRefusal.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "files/PathText.h"

namespace webtessl {
namespace {

// The absolute path with links and dot segments resolved, or nothing when it does not exist.
std::optional<std::string> ResolvedPath(std::string_view path) {
  if (path.empty() || path.find('\0') != std::string_view::npos) return std::nullopt;
  std::error_code error;
  const std::filesystem::path resolved = std::filesystem::canonical(std::string(path), error);
  if (error) return std::nullopt;
  return resolved.string();
}

// Whether the resolved path is the folder itself or lies below it.
bool LiesInside(const std::string& path, const std::string& folder) {
  if (path == folder) return true;
  const std::string prefix = EnsureTrailingSeparator(folder);
  return path.size() > prefix.size() && path.starts_with(prefix);
}

bool LiesInsideAny(const std::string& path, const std::vector<std::string>& folders) {
  return std::any_of(folders.begin(), folders.end(), [&path](const std::string& folder) {
    if (folder.empty()) return false;
    const std::optional<std::string> resolved = ResolvedPath(folder);
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
  std::optional<std::string> resolved = ResolvedPath(path);
  if (!resolved || HasHiddenSegment(path) || HasHiddenSegment(*resolved)) return std::nullopt;
  if (HasFolders(dirs) && !LiesInsideAny(*resolved, dirs)) return std::nullopt;
  if (LiesInsideAny(*resolved, excludeDirs)) return std::nullopt;
  return resolved;
}

}  // namespace webtessl
