// The platform-neutral part of platform/FileStream.h: the stream and its buffer, which read
// through the backend's ReadFileAt.

#include "platform/FileStream.h"

#include <algorithm>
#include <cstring>

namespace webtessl {
namespace {

// Large enough that a body read through the stream takes few system calls.
constexpr size_t kReadBufferSize = 65536;

}  // namespace

int64_t TFileStreamBuffer::Position() const {
  return bufferOffset_ + (gptr() - eback());
}

TFileStreamBuffer::int_type TFileStreamBuffer::underflow() {
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  const int64_t offset = Position();
  if (offset >= size_) return traits_type::eof();
  if (buffer_.empty()) buffer_.resize(kReadBufferSize);
  const int64_t wanted = std::min<int64_t>(size_ - offset, buffer_.size());
  const int64_t got = ReadFileAt(handle_, buffer_.data(), wanted, offset);
  if (got <= 0) return traits_type::eof();
  bufferOffset_ = offset;
  setg(buffer_.data(), buffer_.data(), buffer_.data() + got);
  return traits_type::to_int_type(*gptr());
}

std::streamsize TFileStreamBuffer::xsgetn(char_type* target, std::streamsize count) {
  const std::streamsize buffered = std::min<std::streamsize>(egptr() - gptr(), count);
  if (buffered > 0) {
    std::memcpy(target, gptr(), static_cast<size_t>(buffered));
    gbump(static_cast<int>(buffered));
  }
  std::streamsize copied = buffered;
  int64_t offset = Position();
  while (copied < count && offset < size_) {
    const int64_t got = ReadFileAt(handle_, target + copied,
                                   std::min<int64_t>(count - copied, size_ - offset), offset);
    if (got <= 0) break;
    copied += got;
    offset += got;
  }
  bufferOffset_ = offset;
  setg(nullptr, nullptr, nullptr);
  return copied;
}

TFileStreamBuffer::pos_type TFileStreamBuffer::seekoff(off_type offset,
                                                       std::ios_base::seekdir direction,
                                                       std::ios_base::openmode which) {
  if ((which & std::ios_base::in) == 0) return pos_type(off_type(-1));
  int64_t base = 0;
  if (direction == std::ios_base::cur) base = Position();
  if (direction == std::ios_base::end) base = size_;
  const int64_t target = base + offset;
  if (target < 0) return pos_type(off_type(-1));
  bufferOffset_ = target;
  setg(nullptr, nullptr, nullptr);
  return pos_type(target);
}

TFileStreamBuffer::pos_type TFileStreamBuffer::seekpos(pos_type position,
                                                       std::ios_base::openmode which) {
  return seekoff(off_type(position), std::ios_base::beg, which);
}

TFileStream::TFileStream(TOpened, TFileHandle handle, const TFileFacts& facts)
    : std::istream(nullptr), handle_(handle), facts_(facts), buffer_(handle, facts.size) {
  rdbuf(&buffer_);
}

int64_t TFileStream::Position() {
  return fail() ? -1 : buffer_.Position();
}

}  // namespace webtessl
