#include "tessel/InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>

#include <string>

#include "platform/DesktopMessages.h"
#include "platform/posix/UniqueFd.h"

namespace webtessl {
namespace {

constexpr char kLockFileName[] = "/tessel.lock";
constexpr mode_t kOwnerOnly = 0600;

}  // namespace

struct TInstanceLock::TImpl {
  TUniqueFd fd;
};

TInstanceLock::TInstanceLock() : impl_(std::make_unique<TImpl>()) {
  const std::string folder = DesktopFolder();
  if (folder.empty()) return;
  TUniqueFd file(::open((folder + kLockFileName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW,
                        kOwnerOnly));
  if (file.Valid() && ::flock(file.Get(), LOCK_EX | LOCK_NB) == 0) impl_->fd = std::move(file);
}

TInstanceLock::~TInstanceLock() = default;

bool TInstanceLock::Held() const { return impl_->fd.Valid(); }

}  // namespace webtessl
