#include "files/DownloadOpening.h"

#include <algorithm>
#include <optional>

#include "files/DownloadRefusal.h"
#include "files/PathText.h"
#include "http/StatusCodes.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace webtessl {
namespace {

// A folder to open below and the rest of the path below it.
struct TStartingPoint {
  std::string folder;
  std::string relative;
};

// The path below `folder` when the path lies in it, as text.
std::optional<std::string> PathBelow(std::string_view path, std::string_view folder) {
  if (folder.empty()) return std::nullopt;
  const std::string prefix = EnsureTrailingSeparator(folder);
  if (!path.starts_with(prefix)) return std::nullopt;
  return std::string(path.substr(prefix.size()));
}

// Where opening starts: a "dirs" folder the path lies in (as written or resolved; its own links
// are the operator's), else the root of the path.
std::optional<TStartingPoint> StartingPoint(std::string_view path,
                                            const std::vector<std::string>& dirs) {
  for (const std::string& folder : dirs) {
    if (auto below = PathBelow(path, folder)) return TStartingPoint{folder, *below};
    const std::optional<std::string> resolved = folder.empty() ? std::nullopt : CanonicalPath(folder);
    if (resolved) {
      if (auto below = PathBelow(path, *resolved)) return TStartingPoint{*resolved, *below};
    }
  }
  const size_t root = path.find(kPathDelimiter);
  if (root == std::string_view::npos) return std::nullopt;  // no absolute path
  return TStartingPoint{std::string(path.substr(0, root + 1)), std::string(path.substr(root + 1))};
}

// The status for a path that did not open: 401 only for a file the rule would let through.
int32_t FailureStatus(std::string_view path, TFileError error,
                      const std::vector<std::string>& dirs,
                      const std::vector<std::string>& excludeDirs) {
  if (error != TFileError::AccessDenied) return kStatusNotFound;
  if (!AllowedDownloadPath(path, dirs, excludeDirs)) return kStatusNotFound;
  const std::optional<TFileFacts> facts = FileFacts(path);
  return facts && facts->kind == TFileKind::File ? kStatusUnauthorized : kStatusNotFound;
}

}  // namespace

TDownloadOpening OpenDownload(std::string_view path, const std::vector<std::string>& dirs,
                              const std::vector<std::string>& excludeDirs) {
  if (path.find('\0') != std::string_view::npos || HasHiddenSegment(path)) {
    return {nullptr, kStatusNotFound};
  }
  const std::optional<TStartingPoint> start = StartingPoint(path, dirs);
  if (!start) return {nullptr, kStatusNotFound};
  TFileError why = TFileError::None;
  std::unique_ptr<TFileStream> file =
      TFileStream::OpenBeneath(start->folder, start->relative, &why);
  if (!file) return {nullptr, FailureStatus(path, why, dirs, excludeDirs)};
  const std::optional<std::string> realPath = file->RealPath();
  if (!realPath || !IsRealPathAllowed(path, *realPath, dirs, excludeDirs)) {
    return {nullptr, kStatusNotFound};
  }
  return {std::move(file), kStatusOk};
}

}  // namespace webtessl
