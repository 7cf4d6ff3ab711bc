// Win32 backend of platform/FileStamp.h: a file's change time costs an open of its own there, so
// no stamps are taken and nothing is cached by them.

#include "platform/FileStamp.h"

namespace webtessl {

std::optional<TFileStamp> StampOf(const TFileStream&) {
  return std::nullopt;
}

std::optional<TFileStamp> StampAt(std::string_view) {
  return std::nullopt;
}

std::optional<TFileStamp> StampBeneath(const TOpenFolder&, std::string_view) {
  return std::nullopt;
}

}  // namespace webtessl
