#include "platform/posix/OpenBeneath.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace webtessl::posix {
namespace {

constexpr int kReadFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;

// Invalid with errno ENOSYS when the kernel has no openat2.
TUniqueFd OpenWithResolveRules(int folder, const std::string& relative) {
  open_how how{};
  how.flags = kReadFlags;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
  long opened = -1;
  do {
    opened = ::syscall(SYS_openat2, folder, relative.c_str(), &how, sizeof how);
  } while (opened < 0 && errno == EAGAIN);  // a rename raced the look-up: try again
  return TUniqueFd(static_cast<int>(opened));
}

// One component after the other, each opened relative to the one before and never through a
// link: a folder with O_DIRECTORY | O_NOFOLLOW (a link fails), the last one with O_NOFOLLOW.
TUniqueFd OpenComponentWise(int folder, std::string_view relative) {
  TUniqueFd current;
  int at = folder;
  while (!relative.empty()) {
    const size_t slash = relative.find('/');
    const std::string name(relative.substr(0, slash));
    relative.remove_prefix(slash == std::string_view::npos ? relative.size() : slash + 1);
    if (name.empty()) continue;
    if (name == "." || name == "..") {
      errno = EXDEV;
      return {};
    }
    const bool last = relative.find_first_not_of('/') == std::string_view::npos;
    const int flags = last ? kReadFlags | O_NOFOLLOW
                           : O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    TUniqueFd next(::openat(at, name.c_str(), flags));
    if (!next.Valid()) return {};
    current = std::move(next);
    at = current.Get();
    if (last) return current;
  }
  // Nothing but the folder itself was named.
  return TUniqueFd(::openat(folder, ".", kReadFlags));
}

}  // namespace

TUniqueFd OpenBeneath(int folder, std::string_view relative) {
  if (relative.find('\0') != std::string_view::npos) {
    errno = ENOENT;
    return {};
  }
  if (relative.starts_with('/')) {
    errno = EXDEV;
    return {};
  }
  const std::string path = relative.empty() ? std::string(".") : std::string(relative);
  TUniqueFd opened = OpenWithResolveRules(folder, path);
  if (opened.Valid() || errno != ENOSYS) return opened;
  return OpenComponentWise(folder, relative);
}

}  // namespace webtessl::posix
