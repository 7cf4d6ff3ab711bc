#include "tessel/FolderPaths.h"

#include "tessel/NameIndex.h"
#include "tessel/NativePath.h"

namespace webtessl {
namespace {

constexpr char kDelimiter = '/';

}  // namespace

std::optional<std::string> NormalizeFolder(std::string_view nativePath) {
  const std::string held = FromNativePath(nativePath);
  const std::string_view path = held;
  if (path.empty() || path.front() != kDelimiter) return std::nullopt;
  std::string normal;
  size_t start = 0;
  while (start < path.size()) {
    size_t end = path.find(kDelimiter, start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view name = path.substr(start, end - start);
    if (name == "." || name == "..") return std::nullopt;
    if (!name.empty()) {
      normal += kDelimiter;
      normal += name;
    }
    start = end + 1;
  }
  if (normal.empty()) normal = kDelimiter;
  return normal;
}

bool HasHiddenName(std::string_view path) {
  return path.starts_with('.') || path.find("/.") != std::string_view::npos;
}

bool IsSameOrUnder(std::string_view path, std::string_view folder) {
  if (folder == "/") return !path.empty() && path.front() == kDelimiter;
  return path.starts_with(folder) &&
         (path.size() == folder.size() || path[folder.size()] == kDelimiter);
}

TEntryId ResolveFolder(const TNameIndex& index, std::string_view path) {
  // The deepest root that holds the path, then the names below it one by one.
  TEntryId found = kNoEntry;
  size_t rootLength = 0;
  for (const TEntryId root : index.Roots()) {
    const std::string& rootPath = index.RootPath(root);
    if (IsSameOrUnder(path, rootPath) && (found == kNoEntry || rootPath.size() > rootLength)) {
      found = root;
      rootLength = rootPath.size();
    }
  }
  if (found == kNoEntry) return kNoEntry;
  size_t start = rootLength;
  while (start < path.size() && found != kNoEntry) {
    if (path[start] == kDelimiter) ++start;
    size_t end = path.find(kDelimiter, start);
    if (end == std::string_view::npos) end = path.size();
    found = index.Find(found, path.substr(start, end - start));
    start = end;
  }
  return found != kNoEntry && index.IsDirectory(found) ? found : kNoEntry;
}

}  // namespace webtessl
