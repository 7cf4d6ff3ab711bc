#include "platform/FileStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "platform/posix/Interrupted.h"
#include "platform/posix/StatFacts.h"
#include "platform/posix/UniqueFd.h"

namespace webtessl {
namespace {

int NativeFile(TFileHandle handle) {
  return static_cast<int>(handle);
}

}  // namespace

int64_t ReadFileAt(TFileHandle handle, char* target, int64_t count, int64_t offset) {
  const ssize_t got = RetryInterrupted(
      [&] { return pread(NativeFile(handle), target, static_cast<size_t>(count), offset); });
  return std::max<ssize_t>(got, 0);
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

TFileStream::~TFileStream() {
  close(NativeFile(handle_));
}

}  // namespace webtessl
