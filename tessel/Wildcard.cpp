#include "tessel/Wildcard.h"

#include <algorithm>

#include "tessel/CaseFold.h"

namespace webtessl {
namespace {

constexpr char kAnyRun = '*';
constexpr char kAnyChar = '?';
constexpr size_t kWordBits = 64;
// A "?" reaches at most this many bytes ahead (the longest UTF-8 sequence); the states of the
// positions in between wait in a ring.
constexpr size_t kRingSize = 5;
// Patterns of up to 255 characters match without an allocation.
constexpr size_t kLocalWords = 4;

void SetBit(uint64_t* states, size_t bit) {
  states[bit / kWordBits] |= uint64_t{1} << (bit % kWordBits);
}

bool HasBit(const uint64_t* states, size_t bit) {
  return (states[bit / kWordBits] >> (bit % kWordBits) & 1) != 0;
}

bool IsEmpty(const uint64_t* states, size_t words) {
  return std::all_of(states, states + words, [](uint64_t word) { return word == 0; });
}

// target |= (states & mask) << 1: the positions one pattern character further.
void AddAdvanced(uint64_t* target, const uint64_t* states, const uint64_t* mask, size_t words) {
  uint64_t carry = 0;
  for (size_t i = 0; i < words; ++i) {
    const uint64_t word = states[i] & mask[i];
    target[i] |= word << 1 | carry;
    carry = word >> (kWordBits - 1);
  }
}

// target |= states & mask: the positions that stay.
void AddKept(uint64_t* target, const uint64_t* states, const uint64_t* mask, size_t words) {
  for (size_t i = 0; i < words; ++i) target[i] |= states[i] & mask[i];
}

}  // namespace

TWildcard::TWildcard(std::string_view pattern) {
  for (const char c : pattern) positions_ += c != kAnyRun ? 1 : 0;
  const size_t words = positions_ / kWordBits + 1;  // positions 0 .. positions_
  for (TStates& steps : byteSteps_) steps.assign(words, 0);
  anyCharSteps_.assign(words, 0);
  starLoops_.assign(words, 0);
  std::string current;
  size_t position = 0;
  for (const char c : pattern) {
    if (c == kAnyRun) {
      SetBit(starLoops_.data(), position);
      if (!current.empty()) segments_.push_back(std::move(current));
      current.clear();
      continue;
    }
    SetBit((c == kAnyChar ? anyCharSteps_ : byteSteps_[static_cast<unsigned char>(c)]).data(),
           position);
    current += c;
    ++position;
  }
  minLength_ = positions_;
  if (!current.empty() || segments_.empty()) segments_.push_back(std::move(current));
  ChooseShape(pattern);
}

void TWildcard::ChooseShape(std::string_view pattern) {
  if (pattern.find(kAnyChar) != std::string_view::npos) return;
  const bool leading = !pattern.empty() && pattern.front() == kAnyRun;
  if (leading) pattern.remove_prefix(1);
  const bool trailing = !pattern.empty() && pattern.back() == kAnyRun;
  if (trailing) pattern.remove_suffix(1);
  if (pattern.find(kAnyRun) != std::string_view::npos || (pattern.empty() && leading)) return;
  plain_ = pattern;
  shape_ = leading ? (trailing ? TShape::Contains : TShape::Suffix)
                   : (trailing ? TShape::Prefix : TShape::Exact);
}

bool TWildcard::MatchesShape(std::string_view text) const {
  switch (shape_) {
    case TShape::Exact:
      return text == plain_;
    case TShape::Prefix:
      return text.starts_with(plain_);
    case TShape::Suffix:
      return text.ends_with(plain_);
    case TShape::Contains:
      return text.find(plain_) != std::string_view::npos;
    case TShape::General:
      break;
  }
  return false;
}

bool TWildcard::Matches(std::string_view text) const {
  if (text.size() < minLength_) return false;
  if (shape_ != TShape::General) return MatchesShape(text);
  const size_t words = starLoops_.size();
  // The ring of state sets lives on the stack for patterns of ordinary length.
  uint64_t local[kRingSize * kLocalWords] = {};
  std::vector<uint64_t> large(words > kLocalWords ? kRingSize * words : 0);
  uint64_t* const ring = words > kLocalWords ? large.data() : local;
  const auto at = [&](size_t pos) { return ring + pos % kRingSize * words; };
  SetBit(at(0), 0);
  for (size_t pos = 0; pos < text.size(); ++pos) {
    uint64_t* const now = at(pos);
    if (IsEmpty(now, words)) {
      // Nothing reached this byte; a "?" may still have reached a later one.
      bool later = false;
      for (size_t ahead = 1; ahead < kRingSize && !later; ++ahead) {
        later = !IsEmpty(at(pos + ahead), words);
      }
      if (!later) return false;
      continue;
    }
    uint64_t* const next = at(pos + 1);
    AddAdvanced(next, now, byteSteps_[static_cast<unsigned char>(text[pos])].data(), words);
    AddKept(next, now, starLoops_.data(), words);
    const size_t length = std::min(Utf8SequenceLength(text, pos), text.size() - pos);
    AddAdvanced(at(pos + length), now, anyCharSteps_.data(), words);
    std::fill(now, now + words, 0);
  }
  return HasBit(at(text.size()), positions_);
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
