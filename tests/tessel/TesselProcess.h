#pragma once

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/SpawnWithPipe.h"

extern char** environ;

namespace webtessl::testing_tessel {

// A running tessel program, started with the calling process's environment (so set
// WEBTESSL_DESKTOP and XDG_CONFIG_HOME first); its stderr is read by the test. Stopped (SIGTERM,
// then SIGKILL if it lingers) and reaped when the object goes.
class TTesselProcess {
 public:
  explicit TTesselProcess(const std::vector<std::string>& options = {"-tray"}) {
    std::vector<std::string> arguments{WEBTESSL_TESSEL};
    arguments.insert(arguments.end(), options.begin(), options.end());
    pid_ = testing_support::SpawnWithPipe(std::move(arguments), STDERR_FILENO, stderr_);
  }
  ~TTesselProcess() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      if (!Wait(5000)) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
      }
    }
    if (stderr_ >= 0) ::close(stderr_);
  }
  TTesselProcess(const TTesselProcess&) = delete;
  TTesselProcess& operator=(const TTesselProcess&) = delete;

  pid_t Pid() const { return pid_; }
  void Signal(int signal) const { ::kill(pid_, signal); }

  // Reads stderr until it holds the text (true) or waitMs pass (false).
  bool AwaitOutput(const std::string& text, int waitMs = 10000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (output_.find(text) == std::string::npos) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          end - std::chrono::steady_clock::now());
      pollfd entry{stderr_, POLLIN, 0};
      if (left.count() <= 0 || ::poll(&entry, 1, static_cast<int>(left.count())) <= 0) return false;
      char chunk[512];
      const ssize_t got = ::read(stderr_, chunk, sizeof chunk);
      if (got <= 0) return false;
      output_.append(chunk, static_cast<size_t>(got));
    }
    return true;
  }
  const std::string& Output() const { return output_; }

  // Waits at most waitMs for the process to end; its exit code (-1 when a signal ended it).
  std::optional<int> Wait(int waitMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > end) return std::nullopt;
      ::usleep(5000);
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  int stderr_ = -1;
  std::string output_;
};

}  // namespace webtessl::testing_tessel
