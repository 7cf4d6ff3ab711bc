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

// The one place where the system's error numbers become reasons.
TFileError FileErrorOf(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
      return TFileError::NotFound;
    case EACCES:
    case EPERM:
      return TFileError::AccessDenied;
    case EISDIR:
      return TFileError::IsFolder;
    case ENXIO:
    case ENODEV:
      return TFileError::NotRegularFile;
    case ELOOP:
    case EXDEV:
      return TFileError::LinkOrClimb;
    case EMFILE:
    case ENFILE:
      return TFileError::TooManyOpenFiles;
    default:
      return TFileError::Other;
  }
}

std::unique_ptr<TFileStream> Refused(TFileError error, TFileError* why) {
  if (why != nullptr) *why = error;
  return nullptr;
}

}  // namespace

int64_t ReadFileAt(TFileHandle handle, char* target, int64_t count, int64_t offset) {
  const ssize_t got = RetryInterrupted(
      [&] { return pread(NativeFile(handle), target, static_cast<size_t>(count), offset); });
  return std::max<ssize_t>(got, 0);
}

std::unique_ptr<TFileStream> TFileStream::FromOpenHandle(TFileHandle handle, TFileError* why) {
  TUniqueFd file(NativeFile(handle));
  struct stat info {};
  if (fstat(file.Get(), &info) != 0) return Refused(FileErrorOf(errno), why);
  const TFileFacts facts = FactsOf(info);
  if (facts.kind != TFileKind::File) {
    return Refused(facts.kind == TFileKind::Directory ? TFileError::IsFolder
                                                      : TFileError::NotRegularFile,
                   why);
  }
  auto stream = std::make_unique<TFileStream>(TOpened{}, file.Get(), facts);
  file.Release();
  return stream;
}

std::unique_ptr<TFileStream> TFileStream::Open(std::string_view path, TFileError* why) {
  if (path.empty() || path.find('\0') != std::string_view::npos) {
    return Refused(TFileError::NotFound, why);
  }
  // Not blocking: opening a named pipe would otherwise wait for a writer.
  const int file = open(std::string(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (file < 0) return Refused(FileErrorOf(errno), why);
  return FromOpenHandle(file, why);
}

std::unique_ptr<TFileStream> TFileStream::OpenBeneath(std::string_view folder,
                                                      std::string_view relative,
                                                      TFileError* why) {
  if (folder.empty() || folder.find('\0') != std::string_view::npos) {
    return Refused(TFileError::NotFound, why);
  }
  const TUniqueFd base(
      open(std::string(folder).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!base.Valid()) return Refused(FileErrorOf(errno), why);
  TUniqueFd file = posix::OpenBeneath(base.Get(), relative);
  if (!file.Valid()) return Refused(FileErrorOf(errno), why);
  return FromOpenHandle(file.Release(), why);
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
