// Win32 backend of platform/FileStream.h: a file opened with CreateFileA for overlapped reads, so
// that every read names its offset and the handle keeps no position of its own.

#include "platform/FileStream.h"

#include "platform/win32/FileFacts.h"
#include "platform/win32/FileReads.h"
#include "platform/win32/FinalPath.h"
#include "platform/win32/LiteralPath.h"
#include "platform/win32/WinApi.h"

#include <algorithm>
#include <cerrno>
#include <string>

namespace webtessl {
namespace {

// Other programs may read, write, rename and delete a file while it is being sent.
constexpr DWORD kShareEverything = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Folders open too (so that one is told apart from a missing file); reads name their offsets.
constexpr DWORD kOpenFlags =
    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED | FILE_FLAG_SEQUENTIAL_SCAN;

HANDLE NativeFile(TFileHandle handle) {
  return reinterpret_cast<HANDLE>(handle);
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

int64_t ReadFileAt(TFileHandle handle, char* target, int64_t count, int64_t offset) {
  const auto wanted = static_cast<DWORD>(std::min<int64_t>(count, MAXDWORD));
  DWORD got = 0;
  return win32::ReadAtOffset(NativeFile(handle), target, wanted, offset, got) == 0 ? got : 0;
}

std::unique_ptr<TFileStream> TFileStream::FromOpenHandle(TFileHandle handle) {
  win32::TUniqueHandle file(NativeFile(handle));
  if (file.get() == INVALID_HANDLE_VALUE) return nullptr;
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

// Opening never blocks: a path that could reach a pipe or a device is refused before it is
// opened, and the handle (not inherited by child processes) must turn out a file on a disk.
std::unique_ptr<TFileStream> TFileStream::Open(std::string_view path) {
  if (!win32::IsLiteralPath(path)) {
    errno = ENOENT;
    return nullptr;
  }
  const HANDLE file = ::CreateFileA(std::string(path).c_str(), GENERIC_READ, kShareEverything,
                                    nullptr, OPEN_EXISTING, kOpenFlags, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    errno = ErrnoOf(::GetLastError());
    return nullptr;
  }
  return FromOpenHandle(reinterpret_cast<TFileHandle>(file));
}

// Nothing is held open: the path counts at every open.
TOpenFolder::TOpenFolder(std::string path) : path_(std::move(path)) {}

TOpenFolder::~TOpenFolder() = default;

std::unique_ptr<TFileStream> TFileStream::OpenBeneath(const TOpenFolder& folder,
                                                      std::string_view relative) {
  return OpenBeneath(folder.Path(), relative);
}

// The system follows links while it opens; what was opened is then judged by its own final
// path, which must lie in the folder's.
std::unique_ptr<TFileStream> TFileStream::OpenBeneath(std::string_view folder,
                                                      std::string_view relative) {
  if (relative.starts_with('/') || relative.starts_with('\\') ||
      relative.find(':') != std::string_view::npos) {
    errno = EXDEV;
    return nullptr;
  }
  const std::optional<std::string> root = CanonicalPath(folder);
  if (!root) {
    errno = ENOENT;
    return nullptr;
  }
  std::string path(folder);
  if (!path.ends_with('\\') && !path.ends_with('/')) path += '\\';
  std::unique_ptr<TFileStream> stream = Open(path.append(relative));
  if (!stream) return nullptr;
  const std::optional<std::string> opened = stream->RealPath();
  if (!opened || !win32::LiesWithin(*opened, *root)) {
    errno = EXDEV;
    return nullptr;
  }
  return stream;
}

std::optional<std::string> TFileStream::RealPath() const {
  return win32::FinalPathOf(NativeFile(handle_));
}

TFileStream::~TFileStream() {
  ::CloseHandle(NativeFile(handle_));
}

}  // namespace webtessl
