#pragma once

namespace webtessl {

// Why a file did not open, in the terms its callers decide on; each backend maps its system's
// error numbers onto it in one place.
enum class TFileError {
  None,
  NotFound,          // nothing by that name, or a name the system cannot hold
  AccessDenied,      // there, but this account may not read it
  IsFolder,          // a folder, not a file
  NotRegularFile,    // a pipe, a device or a socket
  LinkOrClimb,       // a symbolic link, or a climb above the folder opened beneath, in the way
  TooManyOpenFiles,  // the process or the system has no handle left
  Other,             // any other failure of the system
};

// The reason in words, for messages.
constexpr const char* FileErrorText(TFileError error) {
  switch (error) {
    case TFileError::None:
      return "No error";
    case TFileError::NotFound:
      return "No such file or directory";
    case TFileError::AccessDenied:
      return "Permission denied";
    case TFileError::IsFolder:
      return "Is a directory";
    case TFileError::NotRegularFile:
      return "Not a regular file";
    case TFileError::LinkOrClimb:
      return "A link or a parent folder is in the way";
    case TFileError::TooManyOpenFiles:
      return "Too many open files";
    case TFileError::Other:
      break;
  }
  return "The file cannot be read";
}

}  // namespace webtessl
