#include "platform/FileStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <algorithm>
#include <cerrno>
#include <string>

#include "platform/posix/Interrupted.h"
#include "platform/posix/OpenBeneath.h"
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

std::unique_ptr<TFileStream> TFileStream::FromOpenHandle(TFileHandle handle) {
  TUniqueFd file(NativeFile(handle));
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

std::unique_ptr<TFileStream> TFileStream::Open(std::string_view path) {
  if (path.empty() || path.find('\0') != std::string_view::npos) {
    errno = ENOENT;
    return nullptr;
  }
  // Not blocking: opening a named pipe would otherwise wait for a writer.
  return FromOpenHandle(open(std::string(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
}

std::unique_ptr<TFileStream> TFileStream::OpenBeneath(std::string_view folder,
                                                      std::string_view relative) {
  if (folder.empty() || folder.find('\0') != std::string_view::npos) {
    errno = ENOENT;
    return nullptr;
  }
  const TUniqueFd base(
      open(std::string(folder).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!base.Valid()) return nullptr;
  return FromOpenHandle(posix::OpenBeneath(base.Get(), relative).Release());
}

std::unique_ptr<TFileStream> TFileStream::OpenBeneath(const TOpenFolder& folder,
                                                      std::string_view relative) {
  if (folder.Handle() < 0) return OpenBeneath(folder.Path(), relative);
  return FromOpenHandle(posix::OpenBeneath(NativeFile(folder.Handle()), relative).Release());
}

TOpenFolder::TOpenFolder(std::string path) : path_(std::move(path)) {
  if (path_.empty() || path_.find('\0') != std::string::npos) return;
  handle_ = open(path_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
}

TOpenFolder::~TOpenFolder() {
  if (handle_ >= 0) close(NativeFile(handle_));
}

std::optional<std::string> TFileStream::RealPath() const {
  const std::string link = "/proc/self/fd/" + std::to_string(NativeFile(handle_));
  std::string target(PATH_MAX, '\0');
  const ssize_t length = readlink(link.c_str(), target.data(), target.size());
  if (length <= 0 || static_cast<size_t>(length) >= target.size() || target[0] != '/') {
    return std::nullopt;
  }
  target.resize(static_cast<size_t>(length));
  return target;
}

TFileStream::~TFileStream() {
  close(NativeFile(handle_));
}

}  // namespace webtessl
