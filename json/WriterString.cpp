#include "json/WriterString.h"

#include <algorithm>
#include <cstddef>
#include <utility>

namespace webtessl {

namespace {

char16_t Widened(char c) {
  return static_cast<char16_t>(static_cast<unsigned char>(c));
}

char Narrowed(char16_t c) {
  return static_cast<char>(c);
}

}  // namespace

TSuperWriterString::TSuperWriterString(TCharacters characters)
    : ascii_(characters == TCharacters::Ascii) {
  if (ascii_) {
    bytes_.reserve(kInitialRoom);
  } else {
    wide_.reserve(kInitialRoom);
  }
}

void TSuperWriterString::Put(std::u16string_view text) {
  if (ascii_) {
    const size_t start = bytes_.size();
    bytes_.resize(start + text.size());
    std::transform(text.begin(), text.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(start),
                   Narrowed);
  } else {
    wide_.append(text);
  }
}

void TSuperWriterString::PutAscii(std::string_view text) {
  if (ascii_) {
    bytes_.append(text);
    return;
  }
  const size_t start = wide_.size();
  wide_.resize(start + text.size());
  std::transform(text.begin(), text.end(), wide_.begin() + static_cast<std::ptrdiff_t>(start),
                 Widened);
}

void TSuperWriterString::PutRepeated(size_t count, char16_t c) {
  if (ascii_) {
    bytes_.append(count, Narrowed(c));
  } else {
    wide_.append(count, c);
  }
}

void TSuperWriterString::MoveTo(std::u16string& target) {
  if (ascii_) {
    const size_t start = target.size();
    target.resize(start + bytes_.size());
    std::transform(bytes_.begin(), bytes_.end(),
                   target.begin() + static_cast<std::ptrdiff_t>(start), Widened);
    bytes_.clear();
  } else if (target.empty()) {
    target = std::move(wide_);
    wide_.clear();
  } else {
    target += wide_;
    wide_.clear();
  }
}

void TSuperWriterString::MoveAsciiTo(std::string& target) {
  if (!ascii_) {
    const size_t start = target.size();
    target.resize(start + wide_.size());
    std::transform(wide_.begin(), wide_.end(),
                   target.begin() + static_cast<std::ptrdiff_t>(start), Narrowed);
    wide_.clear();
  } else if (target.empty()) {
    target = std::move(bytes_);
    bytes_.clear();
  } else {
    target += bytes_;
    bytes_.clear();
  }
}

}  // namespace webtessl
