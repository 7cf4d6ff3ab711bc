#pragma once

#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace webtessl::testing_desktop {

// A forked child process that runs one function and exits with its result. Fork before the test
// creates windows or threads of its own, so the child starts clean. Killed and reaped when the
// object goes, if still running.
class TForkedChild {
 public:
  explicit TForkedChild(const std::function<int()>& body) {
    pid_ = ::fork();
    if (pid_ == 0) ::_exit(body());
  }
  ~TForkedChild() {
    if (pid_ > 0 && !reaped_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  TForkedChild(const TForkedChild&) = delete;
  TForkedChild& operator=(const TForkedChild&) = delete;

  // Waits for the child and returns its exit code (-1 when it was killed by a signal).
  int Wait() {
    int status = 0;
    ::waitpid(pid_, &status, 0);
    reaped_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
};

}  // namespace webtessl::testing_desktop
