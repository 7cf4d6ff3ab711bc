// Windows: the lock is the lock file opened without sharing; the system closes it when the
// process ends, however it ends.

#include "tessel/InstanceLock.h"

#include <fcntl.h>
#include <share.h>
#include <sys/stat.h>

#include <string>

#include "platform/DesktopMessages.h"

namespace webtessl {
namespace {

constexpr char kLockFileName[] = "\\tessel.lock";

}  // namespace

TInstanceLock::TInstanceLock() {
  const std::string folder = DesktopFolder();
  if (folder.empty()) return;
  int fd = -1;
  if (::_sopen_s(&fd, (folder + kLockFileName).c_str(), _O_RDWR | _O_CREAT | _O_NOINHERIT,
                 _SH_DENYRW, _S_IREAD | _S_IWRITE) == 0) {
    fd_.Reset(fd);
  }
}

}  // namespace webtessl
