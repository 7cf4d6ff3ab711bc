#include "tessel/InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>

#include <string>

#include "platform/DesktopMessages.h"

namespace webtessl {
namespace {

constexpr char kLockFileName[] = "/tessel.lock";
constexpr mode_t kOwnerOnly = 0600;

}  // namespace

TInstanceLock::TInstanceLock() {
  const std::string folder = DesktopFolder();
  if (folder.empty()) return;
  TUniqueFd file(::open((folder + kLockFileName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW,
                        kOwnerOnly));
  if (file.Valid() && ::flock(file.Get(), LOCK_EX | LOCK_NB) == 0) fd_ = std::move(file);
}

}  // namespace webtessl
