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
    : ascii_(characters == TCharacters::Ascii),
      byteChunks_(1),
      bytes_(&byteChunks_.front()),
      chunks_(1),
      current_(&chunks_.front()),
      room_(kInitialRoom) {
  if (ascii_) {
    bytes_->reserve(kInitialBytes);
  } else {
    current_->reserve(room_);
  }
}

void TSuperWriterString::AddByteRoom() {
  if (bytes_->capacity() < kLargestBytes) {
    // Growing in place keeps a short text in one string that can be handed over as it is.
    bytes_->reserve(std::clamp(bytes_->capacity() * 2, kInitialBytes, kLargestBytes));
    return;
  }
  byteChunks_.emplace_back().reserve(kLargestBytes);
  bytes_ = &byteChunks_.back();
}

void TSuperWriterString::PutBytes(std::string_view bytes) {
  while (!bytes.empty()) {
    if (bytes_->size() == bytes_->capacity()) AddByteRoom();
    const size_t taken = std::min(bytes.size(), bytes_->capacity() - bytes_->size());
    bytes_->append(bytes.substr(0, taken));
    bytes.remove_prefix(taken);
  }
}

void TSuperWriterString::AddChunk() {
  room_ = std::min(room_ * 2, kLargestRoom);
  chunks_.emplace_back().reserve(room_);
  current_ = &chunks_.back();
}

void TSuperWriterString::Put(std::u16string_view text) {
  if (ascii_) {
    for (const char16_t c : text) Put(c);
    return;
  }
  while (!text.empty()) {
    if (current_->size() == room_) AddChunk();
    const size_t taken = std::min(text.size(), room_ - current_->size());
    current_->append(text.substr(0, taken));
    text.remove_prefix(taken);
  }
}

void TSuperWriterString::PutAscii(std::string_view text) {
  if (ascii_) {
    PutBytes(text);
    return;
  }
  // Escapes and line breaks come through here a few characters at a time: they are widened in
  // one step when the chunk has room for them all.
  if (room_ - current_->size() >= text.size()) {
    const size_t start = current_->size();
    current_->resize(start + text.size());
    std::transform(text.begin(), text.end(), current_->begin() + static_cast<std::ptrdiff_t>(start),
                   Widened);
    return;
  }
  for (const char c : text) Put(Widened(c));
}

void TSuperWriterString::PutRepeated(size_t count, char16_t c) {
  if (ascii_) {
    for (; count > 0; --count) Put(c);
    return;
  }
  if (room_ - current_->size() >= count) {
    current_->append(count, c);
    return;
  }
  for (; count > 0; --count) Put(c);
}

size_t TSuperWriterString::Length() const {
  size_t length = 0;
  for (const std::string& chunk : byteChunks_) length += chunk.size();
  for (const std::u16string& chunk : chunks_) length += chunk.size();
  return length;
}

void TSuperWriterString::Clear() {
  byteChunks_.resize(1);
  bytes_ = &byteChunks_.front();
  bytes_->clear();
  chunks_.resize(1);
  current_ = &chunks_.front();
  current_->clear();
  room_ = kInitialRoom;
}

void TSuperWriterString::MoveTo(std::u16string& target) {
  size_t end = target.size();
  target.resize(end + Length());
  for (const std::string& chunk : byteChunks_) {
    std::transform(chunk.begin(), chunk.end(), target.begin() + static_cast<std::ptrdiff_t>(end),
                   Widened);
    end += chunk.size();
  }
  for (const std::u16string& chunk : chunks_) {
    std::copy(chunk.begin(), chunk.end(), target.begin() + static_cast<std::ptrdiff_t>(end));
    end += chunk.size();
  }
  Clear();
}

void TSuperWriterString::MoveAsciiTo(std::string& target) {
  if (target.empty() && byteChunks_.size() == 1 && !bytes_->empty()) {
    target = std::move(*bytes_);  // a text of one chunk changes hands without a copy
    Clear();
    return;
  }
  size_t end = target.size();
  target.resize(end + Length());
  for (const std::string& chunk : byteChunks_) {
    std::copy(chunk.begin(), chunk.end(), target.begin() + static_cast<std::ptrdiff_t>(end));
    end += chunk.size();
  }
  for (const std::u16string& chunk : chunks_) {
    std::transform(chunk.begin(), chunk.end(), target.begin() + static_cast<std::ptrdiff_t>(end),
                   Narrowed);
    end += chunk.size();
  }
  Clear();
}

}  // namespace webtessl
