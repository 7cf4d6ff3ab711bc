// Win32 backend of platform/FileStream.h: a file opened with CreateFileA for overlapped reads, so
// that every read names its offset and the handle keeps no position of its own.

#include "platform/FileStream.h"

#include "platform/win32/FileFacts.h"
#include "platform/win32/FileReads.h"
#include "platform/win32/LiteralPath.h"
#include "platform/win32/WinApi.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

namespace webtessl {
namespace {

// Large enough that a body read through the stream takes few system calls.
constexpr size_t kReadBufferSize = 65536;
// Other programs may read, write, rename and delete a file while it is being sent.
constexpr DWORD kShareEverything = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Folders open too (so that one is told apart from a missing file); reads name their offsets.
constexpr DWORD kOpenFlags =
    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED | FILE_FLAG_SEQUENTIAL_SCAN;

HANDLE NativeFile(TFileHandle handle) {
  return reinterpret_cast<HANDLE>(handle);
}

// One read at the offset; 0 at the end of the file or on a failure, which ends the stream.
int64_t ReadAt(TFileHandle handle, char* target, int64_t count, int64_t offset) {
  const auto wanted = static_cast<DWORD>(std::min<int64_t>(count, MAXDWORD));
  DWORD got = 0;
  return win32::ReadFileAt(NativeFile(handle), target, wanted, offset, got) == 0 ? got : 0;
}

// The errno value that tells why a file did not open.
int ErrnoOf(DWORD error) {
  switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EACCES;
    case ERROR_TOO_MANY_OPEN_FILES:
      return EMFILE;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    default:
      return ENOENT;
  }
}

// The facts of an open file; nothing when the handle is no file on a disk (a pipe, a console).
std::optional<TFileFacts> FactsOfHandle(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION information{};
  if (::GetFileType(file) != FILE_TYPE_DISK ||
      ::GetFileInformationByHandle(file, &information) == FALSE) {
    return std::nullopt;
  }
  return win32::FactsOf(information.dwFileAttributes, information.nFileSizeHigh,
                        information.nFileSizeLow, information.ftLastWriteTime);
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
  const int64_t wanted = std::min<int64_t>(size_ - offset, buffer_.size());
  const int64_t got = ReadAt(handle_, buffer_.data(), wanted, offset);
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
    const int64_t got =
        ReadAt(handle_, target + copied, std::min<int64_t>(count - copied, size_ - offset), offset);
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

// Opening never blocks: a path that could reach a pipe or a device is refused before it is
// opened, and the handle (not inherited by child processes) must turn out a file on a disk.
std::unique_ptr<TFileStream> TFileStream::Open(std::string_view path) {
  if (!win32::IsLiteralPath(path)) {
    errno = ENOENT;
    return nullptr;
  }
  win32::TUniqueHandle file(::CreateFileA(std::string(path).c_str(), GENERIC_READ, kShareEverything,
                                          nullptr, OPEN_EXISTING, kOpenFlags, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    errno = ErrnoOf(::GetLastError());
    return nullptr;
  }
  const std::optional<TFileFacts> facts = FactsOfHandle(file.get());
  if (!facts || facts->kind != TFileKind::File) {
    errno = facts && facts->kind == TFileKind::Directory ? EISDIR : ENODEV;
    return nullptr;
  }
  auto stream =
      std::make_unique<TFileStream>(TOpened{}, reinterpret_cast<TFileHandle>(file.get()), *facts);
  file.release();
  return stream;
}

TFileStream::TFileStream(TOpened, TFileHandle handle, const TFileFacts& facts)
    : std::istream(nullptr), handle_(handle), facts_(facts), buffer_(handle, facts.size) {
  rdbuf(&buffer_);
}

TFileStream::~TFileStream() {
  ::CloseHandle(NativeFile(handle_));
}

int64_t TFileStream::Position() {
  return fail() ? -1 : buffer_.Position();
}

}  // namespace webtessl
