#include "files/PathText.h"

#include <vector>

#include "platform/Paths.h"

namespace webtessl {
namespace {

constexpr std::string_view kSeparators = "/\\";
constexpr std::string_view kCurrentFolder = ".";
constexpr std::string_view kParentFolder = "..";

bool IsSeparator(char c) {
  return kSeparators.find(c) != std::string_view::npos;
}

// The non-empty segments of a path with "/" separators.
std::vector<std::string_view> Segments(std::string_view path) {
  std::vector<std::string_view> segments;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(kPathDelimiter, start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start) segments.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return segments;
}

}  // namespace

std::string ConvertSeparators(std::string_view path, char separator) {
  std::string result(path);
  for (char& c : result) {
    if (IsSeparator(c)) c = separator;
  }
  return result;
}

std::string StripTrailingSeparators(std::string_view path) {
  while (!path.empty() && IsSeparator(path.back())) path.remove_suffix(1);
  return std::string(path);
}

std::string EnsureTrailingSeparator(std::string_view path) {
  std::string result(path);
  if (!result.empty() && result.back() != kPathDelimiter) result += kPathDelimiter;
  return result;
}

// Every path is walked, not only those holding "./", "/." or "//": a path that is just ".."
// holds none of them and would otherwise name the folder above the start.
bool NormalizeRelativePath(std::string& path) {
  const bool trailing = !path.empty() && path.back() == kPathDelimiter;
  std::vector<std::string_view> kept;
  for (const std::string_view segment : Segments(path)) {
    if (segment == kCurrentFolder) continue;
    if (segment == kParentFolder) {
      if (kept.empty()) return false;
      kept.pop_back();
      continue;
    }
    kept.push_back(segment);
  }
  std::string result;
  for (const std::string_view segment : kept) {
    if (!result.empty()) result += kPathDelimiter;
    result += segment;
  }
  if (trailing && !result.empty()) result += kPathDelimiter;
  path = std::move(result);
  return true;
}

std::string ExtractFileName(std::string_view path) {
  const size_t last = path.rfind(kPathDelimiter);
  return std::string(last == std::string_view::npos ? path : path.substr(last + 1));
}

bool HasHiddenSegment(std::string_view path) {
  for (const std::string_view segment : Segments(path)) {
    if (segment.front() == '.' && segment != kCurrentFolder && segment != kParentFolder) {
      return true;
    }
  }
  return false;
}

}  // namespace webtessl
