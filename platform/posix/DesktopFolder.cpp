#include "platform/DesktopMessages.h"

#include "common/Mutex.h"
#include "platform/posix/DesktopRecords.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace webtessl {
namespace {

constexpr const char* kDesktopVariable = "WEBTESSL_DESKTOP";
constexpr const char* kRuntimeVariable = "XDG_RUNTIME_DIR";
constexpr const char* kRuntimeSubfolder = "/webtessl-desktop";
constexpr const char* kTemporaryPrefix = "/tmp/webtessl-desktop-";
constexpr mode_t kPrivateMode = 0700;
constexpr mode_t kOthersRights = 0077;  // group and others: any right at all is refused

std::string ChosenFolder() {
  std::string folder;
  if (const char* desktop = std::getenv(kDesktopVariable); desktop && *desktop) {
    folder = desktop;
  } else if (const char* runtime = std::getenv(kRuntimeVariable); runtime && *runtime) {
    folder = std::string(runtime) + kRuntimeSubfolder;
  } else {
    folder = kTemporaryPrefix + std::to_string(::geteuid());
  }
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

// The folder must be a real folder (not a link) of this user that nobody else may enter or
// write: one made here is so; an existing one that is not is refused, never repaired, because
// whatever another user could have put in it meanwhile would stay.
bool MakePrivate(const std::string& folder) {
  if (::mkdir(folder.c_str(), kPrivateMode) != 0 && errno != EEXIST) return false;
  struct stat info {};
  return ::lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
         info.st_uid == ::geteuid() && (info.st_mode & kOthersRights) == 0;
}

// The folder most recently found private. Nobody else can remove or change a private folder,
// so finding and sending, which ask for the folder on every message, trust it without looking
// again; creating a window always looks (and makes the folder anew if it was cleaned away).
TMutex lastPrivateMutex;
std::string lastPrivate GUARDED_BY(lastPrivateMutex);

}  // namespace

std::string DesktopFolder() {
  std::string folder = ChosenFolder();
  if (!MakePrivate(folder)) return {};
  TMutexLock lock(lastPrivateMutex);
  lastPrivate = folder;
  return folder;
}

std::string DesktopFolderPath() {
  return ChosenFolder();
}

namespace desktop {

std::string KnownDesktopFolder() {
  std::string folder = ChosenFolder();
  {
    TMutexLock lock(lastPrivateMutex);
    if (folder == lastPrivate) return folder;
  }
  return DesktopFolder();
}

}  // namespace desktop

}  // namespace webtessl
