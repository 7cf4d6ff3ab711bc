#include "platform/DesktopMessages.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace webtessl {
namespace {

constexpr const char* kDesktopVariable = "WEBTESSL_DESKTOP";
constexpr const char* kRuntimeVariable = "XDG_RUNTIME_DIR";
constexpr const char* kRuntimeSubfolder = "/webtessl-desktop";
constexpr const char* kTemporaryPrefix = "/tmp/webtessl-desktop-";
constexpr mode_t kPrivateMode = 0700;

std::string ChosenFolder() {
  if (const char* desktop = std::getenv(kDesktopVariable); desktop && *desktop) return desktop;
  if (const char* runtime = std::getenv(kRuntimeVariable); runtime && *runtime) {
    return std::string(runtime) + kRuntimeSubfolder;
  }
  return kTemporaryPrefix + std::to_string(::geteuid());
}

// The folder must be a real folder (not a link) of this user that nobody else may enter; one of
// ours with looser rights is tightened, anything else is refused.
bool MakePrivate(const std::string& folder) {
  if (::mkdir(folder.c_str(), kPrivateMode) != 0 && errno != EEXIST) return false;
  struct stat info {};
  if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) {
    return false;
  }
  if ((info.st_mode & 0777) != kPrivateMode && ::chmod(folder.c_str(), kPrivateMode) != 0) {
    return false;
  }
  return true;
}

}  // namespace

std::string DesktopFolder() {
  std::string folder = ChosenFolder();
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return MakePrivate(folder) ? folder : std::string();
}

}  // namespace webtessl
