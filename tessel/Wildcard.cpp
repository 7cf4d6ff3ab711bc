#include "tessel/Wildcard.h"

#include "tessel/CaseFold.h"

namespace webtessl {
namespace {

constexpr char kAnyRun = '*';
constexpr char kAnyChar = '?';

// Matches the segment at text[pos]; the end of the matched text, or npos.
size_t MatchSegmentAt(std::string_view segment, std::string_view text, size_t pos) {
  for (const char wanted : segment) {
    if (pos >= text.size()) return std::string_view::npos;
    if (wanted == kAnyChar) {
      pos += Utf8SequenceLength(text, pos);
    } else if (text[pos] == wanted) {
      ++pos;
    } else {
      return std::string_view::npos;
    }
  }
  return pos;
}

}  // namespace

TWildcard::TWildcard(std::string_view pattern) {
  anchoredStart_ = pattern.empty() || pattern.front() != kAnyRun;
  anchoredEnd_ = pattern.empty() || pattern.back() != kAnyRun;
  std::string current;
  for (const char c : pattern) {
    if (c != kAnyRun) {
      current += c;
      ++minLength_;
    } else if (!current.empty()) {
      segments_.push_back(std::move(current));
      current.clear();
    }
  }
  if (!current.empty() || segments_.empty()) segments_.push_back(std::move(current));
}

bool TWildcard::Matches(std::string_view text) const {
  if (text.size() < minLength_) return false;
  size_t pos = 0;
  size_t first = 0;
  size_t last = segments_.size();
  if (anchoredStart_) {
    pos = MatchSegmentAt(segments_.front(), text, 0);
    if (pos == std::string_view::npos) return false;
    first = 1;
    if (segments_.size() == 1 && anchoredEnd_) return pos == text.size();
  }
  // The last segment of an anchored end is tried at the end only; it is matched last.
  if (anchoredEnd_ && last > first) --last;
  for (size_t i = first; i < last; ++i) {
    size_t found = std::string_view::npos;
    for (size_t start = pos; start < text.size() && found == std::string_view::npos; ++start)
      found = MatchSegmentAt(segments_[i], text, start);
    if (found == std::string_view::npos) return segments_[i].empty();
    pos = found;
  }
  if (!anchoredEnd_ || last == segments_.size()) return true;
  // "?" matches whole characters, so the tail is tried at each start from pos on.
  const std::string_view& tail = segments_.back();
  for (size_t start = pos; start <= text.size(); ++start) {
    if (MatchSegmentAt(tail, text, start) == text.size()) return true;
  }
  return false;
}

std::string_view TWildcard::LongestLiteral() const {
  std::string_view best;
  for (const std::string& segment : segments_) {
    size_t start = 0;
    while (start <= segment.size()) {
      size_t end = segment.find(kAnyChar, start);
      if (end == std::string::npos) end = segment.size();
      if (end - start > best.size()) best = std::string_view(segment).substr(start, end - start);
      start = end + 1;
    }
  }
  return best;
}

}  // namespace webtessl
