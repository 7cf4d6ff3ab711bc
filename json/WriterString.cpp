#include "json/WriterString.h"

#include <algorithm>

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
  for (const char c : text) Put(static_cast<char16_t>(static_cast<unsigned char>(c)));
}

void TSuperWriterString::PutRepeated(size_t count, char16_t c) {
  for (; count > 0; --count) Put(c);
}

void TSuperWriterString::MoveTo(std::u16string& target) {
  size_t length = 0;
  for (const std::u16string& chunk : chunks_) length += chunk.size();
  target.reserve(target.size() + length);
  for (const std::u16string& chunk : chunks_) target.append(chunk);
  chunks_.resize(1);
  current_ = &chunks_.front();
  current_->clear();
  room_ = kInitialRoom;
}

}  // namespace webtessl
