#include "http/HttpRanges.h"

#include <algorithm>

#include "common/AsciiText.h"
#include "common/Int64Text.h"

namespace webtessl {
namespace {

constexpr std::string_view kBytesUnit = "bytes";
constexpr size_t kMaxLastPartLength = 63;
constexpr int64_t kLargestSeekStep = 536870912;
constexpr int64_t kNoNumber = -1;

std::string Trimmed(std::string_view text) {
  return std::string(Trim(text));
}

}  // namespace

bool ParseRange(std::string_view rangeText, bool hasSize, int64_t size, THttpByteRange& range) {
  if (!StartsWithText(rangeText, kBytesUnit)) return false;
  std::string text = Trimmed(rangeText.substr(kBytesUnit.size()));
  if (!text.empty() && text.front() == '=') text = Trimmed(std::string_view(text).substr(1));
  const size_t hyphen = text.find('-');
  if (hyphen == std::string::npos) return false;

  const std::string firstPart = Trimmed(std::string_view(text).substr(0, hyphen));
  const std::string lastPart =
      Trimmed(std::string_view(text).substr(hyphen + 1, kMaxLastPartLength));
  const int64_t first = StrToInt64Def(firstPart, kNoNumber);
  int64_t last = StrToInt64Def(lastPart, kNoNumber);

  if (firstPart.empty()) {  // the last n bytes
    if (lastPart.empty() || !hasSize || last < 0) return false;
    range.Count = std::min(last, size);
    range.First = size - range.Count;
    return true;
  }
  if (!lastPart.empty()) {
    if (first < 0 || last < 0) return false;
    if (hasSize && last >= size) last = size - 1;
    range.First = first;
    range.Count = last - first + 1;
    return true;
  }
  if (first < 0 || !hasSize) return false;  // from a byte to the end
  range.First = first;
  range.Count = size - first;
  return true;
}

int64_t StreamRemaining(std::istream& stream) {
  const std::istream::pos_type position = stream.tellg();
  if (position < 0) return 0;
  stream.seekg(0, std::ios::end);
  const std::istream::pos_type end = stream.tellg();
  stream.seekg(position);
  return end < position ? 0 : static_cast<int64_t>(end - position);
}

void StreamSkip(std::istream& stream, int64_t count) {
  while (count > 0) {
    const int64_t step = std::min(count, kLargestSeekStep);
    stream.seekg(step, std::ios::cur);
    count -= step;
  }
}

std::string CookiePathFromUri(std::string_view uri) {
  std::string_view path = uri;
  const size_t scheme = path.find("://");
  if (scheme != std::string_view::npos) {
    path.remove_prefix(scheme + 3);
    const size_t slash = path.find('/');
    if (slash != std::string_view::npos) path.remove_prefix(slash);
  }
  const size_t query = std::min(path.find('?'), path.size());
  const size_t slash = path.substr(0, query).rfind('/');
  if (slash == std::string_view::npos || slash == 0) return "/";
  return std::string(path.substr(0, slash));
}

}  // namespace webtessl
