#pragma once

#include <cstdint>
#include <istream>
#include <memory>
#include <optional>
#include <string>
#include <streambuf>
#include <string_view>
#include <vector>

#include "platform/FileError.h"
#include "platform/FileSystem.h"

namespace webtessl {

// A system file handle; what SendFileToSocket sends from.
using TFileHandle = std::intptr_t;

// One read of at most count bytes of the open file at the offset, which neither uses nor moves
// the file's own position: the count read, 0 at the end of the file or on a failure.
int64_t ReadFileAt(TFileHandle handle, char* target, int64_t count, int64_t offset);

// The reading side of a TFileStream: positioned reads (no shared file offset), a buffer made only
// when the stream is read through (a body sent straight from the file never needs one), and
// seeks that cost no system call. The end of the file is its size when it was opened.
class TFileStreamBuffer : public std::streambuf {
 public:
  TFileStreamBuffer(TFileHandle handle, int64_t size) : handle_(handle), size_(size) {}
  // The stream position: the offset of the next byte the stream hands out.
  int64_t Position() const;

 protected:
  int_type underflow() override;
  // Reads past the buffer straight into the caller's memory.
  std::streamsize xsgetn(char_type* target, std::streamsize count) override;
  pos_type seekoff(off_type offset, std::ios_base::seekdir direction,
                   std::ios_base::openmode which) override;
  pos_type seekpos(pos_type position, std::ios_base::openmode which) override;

 private:
  TFileHandle handle_;
  int64_t size_;
  int64_t bufferOffset_ = 0;  // the file offset of the buffer's first byte
  std::vector<char> buffer_;
};

// A regular file opened for reading, whose facts come from the open file itself (so they describe
// exactly what is read, with no second look-up by name). Owns its handle. Not thread-safe.
class TFileStream : public std::istream {
  struct TOpened {};  // only Open makes a stream

 public:
  // The open file, or nullptr when the path names no regular file or cannot be opened; then
  // `why`, when given, tells the reason. Opening never blocks, not even on a named pipe, and the
  // handle is not inherited by child processes.
  static std::unique_ptr<TFileStream> Open(std::string_view path, TFileError* why = nullptr);
  // The regular file at `relative` below `folder`, reached without following a symbolic link on
  // the way down from the folder (the folder's own path may hold links: it is trusted) and
  // without leaving the folder, so that nobody who can write below it can lead the open
  // elsewhere; the opened file lies in the folder. nullptr as for Open, the reason LinkOrClimb
  // when a link or a climb above the folder was in the way.
  static std::unique_ptr<TFileStream> OpenBeneath(std::string_view folder,
                                                  std::string_view relative,
                                                  TFileError* why = nullptr);
  // Takes ownership of the open handle of a regular file. Through Open only.
  TFileStream(TOpened, TFileHandle handle, const TFileFacts& facts);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  TFileHandle Handle() const { return handle_; }
  // Kind, size and modification time when the file was opened.
  const TFileFacts& Facts() const { return facts_; }
  // The absolute path of the opened file itself, links resolved, in the form CanonicalPath
  // gives: what a path was found to name is judged by this, not by the path. Nothing when the
  // system cannot tell.
  std::optional<std::string> RealPath() const;
  // The offset of the next byte the stream reads; -1 once the stream has failed.
  int64_t Position();

 private:
  // Takes ownership of an open handle: the stream when it is a regular file, else nullptr with
  // `why` set (when given), the handle closed.
  static std::unique_ptr<TFileStream> FromOpenHandle(TFileHandle handle, TFileError* why);

  TFileHandle handle_;
  TFileFacts facts_;
  TFileStreamBuffer buffer_;
};

}  // namespace webtessl
