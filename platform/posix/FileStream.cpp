#include "platform/FileStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/posix/StatFacts.h"
#include "platform/posix/UniqueFd.h"

namespace webtessl {
namespace {

// Large enough that a body read through the stream takes few system calls.
constexpr size_t kReadBufferSize = 65536;

int NativeFile(TFileHandle handle) {
  return static_cast<int>(handle);
}

}  // namespace

int64_t TFileStreamBuffer::Position() const {
  return bufferOffset_ + (gptr() - eback());
}

TFileStreamBuffer::int_type TFileStreamBuffer::underflow() {
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  const int64_t offset = Position();
  if (offset >= size_) return traits_type::eof();
  if (buffer_.empty()) buffer_.resize(kReadBufferSize);
  const size_t wanted = static_cast<size_t>(std::min<int64_t>(size_ - offset, buffer_.size()));
  ssize_t got = -1;
  do {
    got = pread(NativeFile(handle_), buffer_.data(), wanted, offset);
  } while (got < 0 && errno == EINTR);
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
    const auto wanted = static_cast<size_t>(std::min<int64_t>(count - copied, size_ - offset));
    const ssize_t got = pread(NativeFile(handle_), target + copied, wanted, offset);
    if (got < 0 && errno == EINTR) continue;
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

std::unique_ptr<TFileStream> TFileStream::Open(std::string_view path) {
  if (path.empty() || path.find('\0') != std::string_view::npos) {
    errno = ENOENT;
    return nullptr;
  }
  // Not blocking: opening a named pipe would otherwise wait for a writer.
  TUniqueFd file(open(std::string(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!file.Valid()) return nullptr;
  struct stat info {};
  if (fstat(file.Get(), &info) != 0) return nullptr;
  const TFileFacts facts = FactsOf(info);
  if (facts.kind != TFileKind::File) {
    errno = facts.kind == TFileKind::Directory ? EISDIR : ENODEV;
    return nullptr;
  }
  auto stream = std::make_unique<TFileStream>(TOpened{}, file.Get(), facts);
  file.Release();
  return stream;
}

TFileStream::TFileStream(TOpened, TFileHandle handle, const TFileFacts& facts)
    : std::istream(nullptr), handle_(handle), facts_(facts), buffer_(handle, facts.size) {
  rdbuf(&buffer_);
}

TFileStream::~TFileStream() {
  close(NativeFile(handle_));
}

int64_t TFileStream::Position() {
  return fail() ? -1 : buffer_.Position();
}

}  // namespace webtessl
