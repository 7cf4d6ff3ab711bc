// Win32 backend of platform/FileStream.h: a file opened with CreateFileA for overlapped reads, so
// that every read names its offset and the handle keeps no position of its own.

#include "platform/FileStream.h"

#include "platform/win32/FileFacts.h"
#include "platform/win32/FileReads.h"
#include "platform/win32/FinalPath.h"
#include "platform/win32/LiteralPath.h"
#include "platform/win32/WinApi.h"

#include <algorithm>
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

// The one place where the system's error numbers become reasons.
TFileError FileErrorOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_INVALID_DRIVE:
      return TFileError::NotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return TFileError::AccessDenied;
    case ERROR_TOO_MANY_OPEN_FILES:
      return TFileError::TooManyOpenFiles;
    case ERROR_CANT_RESOLVE_FILENAME:
      return TFileError::LinkOrClimb;
    default:
      return TFileError::Other;
  }
}

std::unique_ptr<TFileStream> Refused(TFileError error, TFileError* why) {
  if (why != nullptr) *why = error;
  return nullptr;
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

std::unique_ptr<TFileStream> TFileStream::FromOpenHandle(TFileHandle handle, TFileError* why) {
  win32::TUniqueHandle file(NativeFile(handle));
  const std::optional<TFileFacts> facts = FactsOfHandle(file.get());
  if (!facts || facts->kind != TFileKind::File) {
    return Refused(facts && facts->kind == TFileKind::Directory ? TFileError::IsFolder
                                                                : TFileError::NotRegularFile,
                   why);
  }
  auto stream =
      std::make_unique<TFileStream>(TOpened{}, reinterpret_cast<TFileHandle>(file.get()), *facts);
  file.release();
  return stream;
}

// Opening never blocks: a path that could reach a pipe or a device is refused before it is
// opened, and the handle (not inherited by child processes) must turn out a file on a disk.
std::unique_ptr<TFileStream> TFileStream::Open(std::string_view path, TFileError* why) {
  if (!win32::IsLiteralPath(path)) return Refused(TFileError::NotFound, why);
  const HANDLE file = ::CreateFileA(std::string(path).c_str(), GENERIC_READ, kShareEverything,
                                    nullptr, OPEN_EXISTING, kOpenFlags, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Refused(FileErrorOf(::GetLastError()), why);
  return FromOpenHandle(reinterpret_cast<TFileHandle>(file), why);
}

// The system follows links while it opens; what was opened is then judged by its own final
// path, which must lie in the folder's.
std::unique_ptr<TFileStream> TFileStream::OpenBeneath(std::string_view folder,
                                                      std::string_view relative,
                                                      TFileError* why) {
  if (relative.starts_with('/') || relative.starts_with('\\') ||
      relative.find(':') != std::string_view::npos) {
    return Refused(TFileError::LinkOrClimb, why);
  }
  const std::optional<std::string> root = CanonicalPath(folder);
  if (!root) return Refused(TFileError::NotFound, why);
  std::string path(folder);
  if (!path.ends_with('\\') && !path.ends_with('/')) path += '\\';
  std::unique_ptr<TFileStream> stream = Open(path.append(relative), why);
  if (!stream) return nullptr;
  const std::optional<std::string> opened = stream->RealPath();
  if (!opened || !win32::LiesWithin(*opened, *root)) return Refused(TFileError::LinkOrClimb, why);
  return stream;
}

std::optional<std::string> TFileStream::RealPath() const {
  return win32::FinalPathOf(NativeFile(handle_));
}

TFileStream::~TFileStream() {
  ::CloseHandle(NativeFile(handle_));
}

}  // namespace webtessl
