#pragma once

#include <grp.h>
#include <pwd.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace webtessl::testing_support {

// Another local user of the machine, for tests of what such a user can and cannot do to this
// one's files and channels. Running as root, the user "webtessl-other" is created (useradd, no
// home, no login) when absent; otherwise there is none and the test skips.
struct TSecondUser {
  uid_t uid = 0;
  gid_t gid = 0;
};

inline std::optional<TSecondUser> SecondUser() {
  constexpr const char* kName = "webtessl-other";
  if (::geteuid() != 0) return std::nullopt;
  if (::getpwnam(kName) == nullptr) {
    const std::string command =
        std::string("useradd --no-create-home --shell /usr/sbin/nologin ") + kName +
        " >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0 && ::getpwnam(kName) == nullptr) return std::nullopt;
  }
  const passwd* entry = ::getpwnam(kName);
  if (entry == nullptr) return std::nullopt;
  return TSecondUser{entry->pw_uid, entry->pw_gid};
}

// In a forked child: becomes the second user for good (group first, while still allowed).
inline bool BecomeUser(const TSecondUser& user) {
  return ::setgroups(0, nullptr) == 0 && ::setgid(user.gid) == 0 && ::setuid(user.uid) == 0;
}

inline constexpr const char* kNoSecondUser =
    "needs a second local user: run as root (the test creates one with useradd)";

}  // namespace webtessl::testing_support
