// Windows: the lock is the lock file opened without sharing; the system closes it when the
// process ends, however it ends.

#include "tessel/InstanceLock.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include <string>

#include "platform/DesktopMessages.h"

namespace webtessl {
namespace {

constexpr char kLockFileName[] = "\\tessel.lock";

}  // namespace

// The lock file's descriptor, closed when the lock goes.
struct TInstanceLock::TImpl {
  int fd = -1;
  TImpl() = default;
  TImpl(const TImpl&) = delete;
  TImpl& operator=(const TImpl&) = delete;
  ~TImpl() {
    if (fd >= 0) ::_close(fd);
  }
};

TInstanceLock::TInstanceLock() : impl_(std::make_unique<TImpl>()) {
  const std::string folder = DesktopFolder();
  if (folder.empty()) return;
  int fd = -1;
  if (::_sopen_s(&fd, (folder + kLockFileName).c_str(), _O_RDWR | _O_CREAT | _O_NOINHERIT,
                 _SH_DENYRW, _S_IREAD | _S_IWRITE) == 0) {
    impl_->fd = fd;
  }
}

TInstanceLock::~TInstanceLock() = default;

bool TInstanceLock::Held() const { return impl_->fd >= 0; }

}  // namespace webtessl
