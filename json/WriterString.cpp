#include "json/WriterString.h"

#include <algorithm>
#include <cstddef>

namespace webtessl {

TSuperWriterString::TSuperWriterString()
    : chunks_(1), current_(&chunks_.front()), room_(kInitialRoom) {
  current_->reserve(room_);
}

void TSuperWriterString::AddChunk() {
  room_ = std::min(room_ * 2, kLargestRoom);
  chunks_.emplace_back().reserve(room_);
  current_ = &chunks_.back();
}

void TSuperWriterString::Put(std::u16string_view text) {
  while (!text.empty()) {
    if (current_->size() == room_) AddChunk();
    const size_t taken = std::min(text.size(), room_ - current_->size());
    current_->append(text.substr(0, taken));
    text.remove_prefix(taken);
  }
}

void TSuperWriterString::PutAscii(std::string_view text) {
  // Escaped text is written almost wholly through here, a few characters at a time: they are
  // widened in one step when the chunk has room for them all.
  if (room_ - current_->size() >= text.size()) {
    const size_t start = current_->size();
    current_->resize(start + text.size());
    std::transform(text.begin(), text.end(), current_->begin() + static_cast<std::ptrdiff_t>(start),
                   [](char c) { return static_cast<char16_t>(static_cast<unsigned char>(c)); });
    return;
  }
  for (const char c : text) Put(static_cast<char16_t>(static_cast<unsigned char>(c)));
}

void TSuperWriterString::PutRepeated(size_t count, char16_t c) {
  if (room_ - current_->size() >= count) {
    current_->append(count, c);
    return;
  }
  for (; count > 0; --count) Put(c);
}

size_t TSuperWriterString::Length() const {
  size_t length = 0;
  for (const std::u16string& chunk : chunks_) length += chunk.size();
  return length;
}

void TSuperWriterString::Clear() {
  chunks_.resize(1);
  current_ = &chunks_.front();
  current_->clear();
  room_ = kInitialRoom;
}

void TSuperWriterString::MoveTo(std::u16string& target) {
  target.reserve(target.size() + Length());
  for (const std::u16string& chunk : chunks_) target.append(chunk);
  Clear();
}

void TSuperWriterString::MoveAsciiTo(std::string& target) {
  size_t end = target.size();
  target.resize(end + Length());
  for (const std::u16string& chunk : chunks_) {
    std::transform(chunk.begin(), chunk.end(), target.begin() + static_cast<std::ptrdiff_t>(end),
                   [](char16_t c) { return static_cast<char>(c); });
    end += chunk.size();
  }
  Clear();
}

}  // namespace webtessl
